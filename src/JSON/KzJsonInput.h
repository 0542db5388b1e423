// SPDX-License-Identifier: MIT

#pragma once

#include <optional>
#include <string>
#include <string_view>

// The text handed to a parse: UTF-8 bytes, UTF-16 text, or none at all.
// Converts implicitly so that callers pass whatever they hold. It only views
// the caller's text, so it is meant to be made right in the call's argument.
class KzJsonInput
{
public:
    enum class Form { None, Utf8, Utf16 };

    KzJsonInput(std::nullopt_t) {}
    KzJsonInput(std::string_view text) : form(Form::Utf8), utf8(text) {}
    KzJsonInput(const std::string &text) : form(Form::Utf8), utf8(text) {}
    KzJsonInput(const char *text) : form(text ? Form::Utf8 : Form::None), utf8(text ? text : "") {}
    KzJsonInput(std::optional<std::string_view> text) : form(text ? Form::Utf8 : Form::None), utf8(text.value_or("")) {}
    KzJsonInput(std::u16string_view text) : form(Form::Utf16), utf16(text) {}
    KzJsonInput(const std::u16string &text) : form(Form::Utf16), utf16(text) {}
    KzJsonInput(const char16_t *text) : form(text ? Form::Utf16 : Form::None), utf16(text ? text : u"") {}

    Form form = Form::None;
    std::string_view utf8;
    std::u16string_view utf16;
};
