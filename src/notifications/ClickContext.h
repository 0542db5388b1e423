// SPDX-License-Identifier: MIT

#pragma once

#include <QString>

#include <optional>

// What travels with a posted notification and comes back unchanged when the
// user clicks it: the address to open and the one to try when that fails.
// Each is present only when the stream message carried it as a string.
struct ClickContext
{
    std::optional<QString> final_uri;
    std::optional<QString> websafe_uri;

    friend bool operator==(const ClickContext &, const ClickContext &) = default;
};
