// SPDX-License-Identifier: MIT

#include "KzJsonConveniences.h"

#include "KzJsonParser.h"

std::optional<KzJsonValue> JSONValue(KzJsonInput text)
{
    KzJsonParser parser;
    return parser.objectWithString(text);
}

std::optional<KzJsonValue> JSONFragmentValue(KzJsonInput text)
{
    KzJsonParser parser;
    return parser.fragmentWithString(text);
}
