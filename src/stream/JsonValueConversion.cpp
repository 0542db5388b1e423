// SPDX-License-Identifier: MIT

#include "JsonValueConversion.h"

#include "KzJsonValue.h"

KzJsonInput JsonValueConversion::input(QStringView text)
{
    return std::u16string_view(text.utf16(), std::size_t(text.size()));
}

// Never null: an empty JSON string is a text, distinct from no text.
QString JsonValueConversion::string(std::u16string_view text)
{
    static constexpr char16_t empty[] = u"";
    return QString(reinterpret_cast<const QChar *>(text.empty() ? empty : text.data()), qsizetype(text.size()));
}

QString JsonValueConversion::displayText(const KzJsonValue *value)
{
    if (value && value->isNumber())
        return string(value->JSONFragment().value_or(std::u16string()));
    return stringText(value);
}

QString JsonValueConversion::stringText(const KzJsonValue *value)
{
    if (value && value->isString())
        return string(*value->asString());
    return QString();
}
