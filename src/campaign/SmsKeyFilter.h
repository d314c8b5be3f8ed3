#pragma once

#include <QString>

// Rules of the SMS text editors: which typed characters reach the text, and its length limit.
// Merged texts are not bound by them (the outbox builder cuts those).
namespace SmsKeyFilter {

constexpr int kMaxLength = 160;

// Backspace, Tab, space and the plain ASCII letters, digits and punctuation a GSM modem sends
// unchanged in text mode; everything else (Enter, quotes, "@", "_", accented letters, ...) is refused.
bool accepts(char32_t code);

// Whether a typed character may be inserted into `currentLength` characters of which
// `selectedLength` are selected (and would be replaced).
bool fits(int currentLength, int selectedLength);

QString counterText(int length);

} // namespace SmsKeyFilter
