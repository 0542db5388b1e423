// SPDX-License-Identifier: MIT

#pragma once

#include "KzJsonInput.h"

#include <QString>
#include <QStringView>

#include <string_view>

class KzJsonValue;

// The one place where the codec's values meet Qt's types. The codec works in
// UTF-16 code units, like QString, so text crosses over without re-encoding.
class JsonValueConversion
{
public:
    // A view of the text for the codec; valid as long as the text is.
    static KzJsonInput input(QStringView text);
    static QString string(std::u16string_view text);

    // A text member as shown to the user: a string as it is, a number or a
    // boolean as its JSON text; anything else (or none) is no text.
    static QString displayText(const KzJsonValue *value);
    // A string member taken as it is; any other kind (or none) is no text.
    static QString stringText(const KzJsonValue *value);
};
