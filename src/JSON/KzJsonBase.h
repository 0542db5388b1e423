// SPDX-License-Identifier: MIT

#pragma once

#include "KzJsonError.h"

#include <cstddef>
#include <string>

// Common base of the parser, the writer and the facade: the error trace of the
// last top-level operation, the nesting counter and the nesting limit.
class KzJsonBase
{
public:
    // Nesting beyond this is always refused, whatever maxDepth says (0
    // included): it keeps the recursive parser and writer, and the values'
    // destruction, within a default 8 MiB stack even in sanitised debug builds.
    static constexpr std::size_t hardDepthLimit = 4096;

    KzJsonBase();
    virtual ~KzJsonBase();
    KzJsonBase(const KzJsonBase &) = delete;
    KzJsonBase &operator=(const KzJsonBase &) = delete;

    // 512 unless changed; 0 means no limit below hardDepthLimit.
    virtual std::size_t maxDepth() const;
    virtual void setMaxDepth(std::size_t limit);

    // The records of the last top-level operation, innermost failure first;
    // none when there are none. A list handed out is never changed afterwards.
    KzJsonErrorTrace errorTrace() const;
    void addErrorWithCode(KzJSONErrorCode code, std::string description);
    void clearErrorTrace();

protected:
    // Enters a container; true when it nests deeper than allowed.
    bool enterContainerIsTooDeep();
    void replaceErrorTrace(const KzJsonErrorTrace &trace);

    std::size_t depth = 0;

private:
    std::size_t depthLimit = 0;
    std::shared_ptr<std::vector<KzJsonErrorRecord>> trace;
};
