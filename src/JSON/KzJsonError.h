// SPDX-License-Identifier: MIT

#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// The error domain of every record the codec makes.
inline constexpr std::string_view KzJSONErrorDomain = "org.quorvik.JSON.ErrorDomain";

// The codes of the codec's error records; there is no code 0 and none above 12.
enum KzJSONErrorCode : unsigned {
    KzJSONErrorUnsupported = 1,
    KzJSONErrorNumber = 2,
    KzJSONErrorSyntax = 3,
    KzJSONErrorFragment = 4,
    KzJSONErrorControlCharacter = 5,
    KzJSONErrorUnicode = 6,
    KzJSONErrorDepth = 7,
    KzJSONErrorEscape = 8,
    KzJSONErrorTrailingComma = 9,
    KzJSONErrorTrailingGarbage = 10,
    KzJSONErrorEndOfInput = 11,
    KzJSONErrorNilInput = 12,
};

// One immutable error record. Its underlying record is the one recorded just
// before it in the same trace, so the last record of a trace (the outermost
// context of a failure) leads back to the first (the innermost cause).
class KzJsonError
{
public:
    KzJsonError(KzJSONErrorCode code, std::string description,
                std::shared_ptr<const KzJsonError> underlying);

    std::string_view domain() const { return KzJSONErrorDomain; }
    KzJSONErrorCode code() const { return errorCode; }
    // English, UTF-8, without a final full stop.
    const std::string &description() const { return text; }
    const std::shared_ptr<const KzJsonError> &underlying() const { return underlyingError; }

private:
    KzJSONErrorCode errorCode;
    std::string text;
    std::shared_ptr<const KzJsonError> underlyingError;
};

using KzJsonErrorRecord = std::shared_ptr<const KzJsonError>;
// A trace is shared and never changed once handed out; none means absent.
using KzJsonErrorTrace = std::shared_ptr<const std::vector<KzJsonErrorRecord>>;
