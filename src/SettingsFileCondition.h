#pragma once

#include <QString>

// What state the settings file is in, and so whether the store may read and
// write it. Qt's settings store rewrites a file it could not parse with only
// the keys it understood, and treats a file it cannot read as empty: in both
// cases a single change would replace the user's file. Verdicts are kept per
// file version (size, modification time, permissions), so checking is cheap.
class SettingsFileCondition
{
public:
    enum Condition {
        Missing,  // no file yet: it may be created
        Sound,    // read and parsed cleanly, and writable
        ReadOnly, // read and parsed cleanly, but the user keeps it from being written
        Unusable, // not a readable file, or not one Qt parses cleanly
    };

    static Condition of(const QString &path);

private:
    static Condition examine(const QString &path);
    static bool parsesCleanly(const QString &path);
};
