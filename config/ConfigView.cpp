#include "config/ConfigView.h"

#include "config/Dialogs.h"

ConversionError::ConversionError(const QString& message)
    : std::runtime_error(message.toStdString()), message_(message) {}

void showConversionError(const ConversionError& error) {
    dialogs().message(applicationTitle(), error.message(), MessageIcon::Error);
}
