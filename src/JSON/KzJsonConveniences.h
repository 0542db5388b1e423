// SPDX-License-Identifier: MIT

#pragma once

#include "KzJsonInput.h"
#include "KzJsonValue.h"

#include <optional>

// One-call parsing with a fresh default parser; no error is reported.
// (Writing: KzJsonValue::JSONRepresentation() and JSONFragment().)
// An object or an array.
std::optional<KzJsonValue> JSONValue(KzJsonInput text);
// Any value.
std::optional<KzJsonValue> JSONFragmentValue(KzJsonInput text);
