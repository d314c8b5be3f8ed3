#include "campaign/SmsKeyFilter.h"

namespace SmsKeyFilter {

bool accepts(char32_t c) {
    if (c == 8 || c == 9 || c == 32 || c == 33 || c == 63 || c == 93)
        return true;
    return (c >= 35 && c <= 38) || (c >= 40 && c <= 46) || (c >= 48 && c <= 59) || (c >= 65 && c <= 91) ||
           (c >= 97 && c <= 122);
}

bool fits(int currentLength, int selectedLength) {
    return currentLength - selectedLength < kMaxLength;
}

QString counterText(int length) {
    return QStringLiteral("Total Caracteres: %1").arg(length);
}

} // namespace SmsKeyFilter
