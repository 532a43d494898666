#pragma once

// Sizes of the key programmer window that its building and its handlers share.
namespace TMprogrammerLayout {

// Client area of the window as laid out, and its smallest outer size.
constexpr int kClientWidth = 688;
constexpr int kClientHeight = 380;
constexpr int kMinWidth = 300;
constexpr int kMinHeight = 200;
constexpr int kGridColumns = 7;
constexpr int kProgressMax = 10;

} // namespace TMprogrammerLayout
