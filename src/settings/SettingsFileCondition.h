// SPDX-License-Identifier: MIT

#pragma once

#include <QString>

#include <array>

// What the settings path holds, as far as the file system tells, and so
// whether the store may read and write it. Only a regular file, or a symbolic
// link to a regular file of the user's own, is settings: a folder, a FIFO
// (opening one blocks), a link to nothing (writing would create its target)
// or to another user's file is left alone. Whether the file parses is the
// store's to find out, in the one read it makes of it.
class SettingsFileCondition
{
public:
    enum Condition {
        Missing,  // no file yet: it may be created
        Sound,    // a readable and writable file
        ReadOnly, // a readable file the user keeps from being written
        Unusable, // nothing the agent may take for its settings
    };

    // What the path names at one moment: any write, replacement, change of
    // mode or of link target gives another version.
    using Version = std::array<qint64, 12>;

    static Version versionOf(const QString &path);
    // reason: why the file is unusable; empty otherwise.
    static Condition examine(const QString &path, QString &reason);
    // Takes group and others' access from the file, only when it is a regular
    // file of the user's own reached the way examine() accepts. Whether it did.
    static bool keepOwnerOnly(const QString &path);
};
