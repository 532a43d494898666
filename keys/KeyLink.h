#pragma once
#include "keys/KeyFrames.h"

#include <cstdint>

// The exchanges of the key programmer window with the key-programming device, over the one port
// of the program (Link::port()). The key programmer has a frame buffer of its own: each request is
// laid out in it and the reply is read over it, so after an exchange it holds the last reply as far
// as it was read (R(0) = length byte, R(1) = status, data from R(2)); when nothing at all was read,
// R(0) still holds the request's start byte.
namespace KeyLink {

constexpr int kFrameBufferSize = 256; // a reply never needs more than 255 bytes

// Sends command with its four parameters up to tries times; true when a reply with status 5 came.
// Without an open port, or with tries 0, nothing is sent.
bool SendKeyCommand(uint8_t command, uint8_t p1, uint8_t p2, uint8_t p3, uint8_t p4, int tries);
// Reads one reply (or an unasked key report) into the frame buffer; true when its check byte is right.
bool ReceiveKeyReply();

uint8_t R(int k);
const uint8_t* frameBuffer();
// How many bytes of the last reply were stored, length byte included (0 when none).
int storedBytes();

} // namespace KeyLink
