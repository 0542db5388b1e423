// SPDX-License-Identifier: MIT

#pragma once

#include "KzJsonValue.h"

#include <optional>

// An object that has no JSON kind of its own but offers a value to be written
// in its place. Wrap it with KzJsonValue::proxy().
class KzJsonProxy
{
public:
    virtual ~KzJsonProxy() = default;
    // The value to write instead; none makes the writer refuse it.
    virtual std::optional<KzJsonValue> proxyForJson() const = 0;
};
