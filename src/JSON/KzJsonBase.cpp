// SPDX-License-Identifier: MIT

#include "KzJsonBase.h"

#include <utility>

KzJsonBase::KzJsonBase()
{
    KzJsonBase::setMaxDepth(512);
}

KzJsonBase::~KzJsonBase() = default;

std::size_t KzJsonBase::maxDepth() const
{
    return depthLimit;
}

void KzJsonBase::setMaxDepth(std::size_t limit)
{
    depthLimit = limit;
}

KzJsonErrorTrace KzJsonBase::errorTrace() const
{
    return trace;
}

void KzJsonBase::addErrorWithCode(KzJSONErrorCode code, std::string description)
{
    KzJsonErrorRecord underlying;
    if (!trace) {
        trace = std::make_shared<std::vector<KzJsonErrorRecord>>();
    } else {
        underlying = trace->back();
        // Someone holds the current list: leave theirs as it is.
        if (trace.use_count() > 1)
            trace = std::make_shared<std::vector<KzJsonErrorRecord>>(*trace);
    }
    trace->push_back(std::make_shared<const KzJsonError>(code, std::move(description), std::move(underlying)));
}

void KzJsonBase::clearErrorTrace()
{
    trace.reset();
}

bool KzJsonBase::enterContainerIsTooDeep()
{
    ++depth;
    return depth > hardDepthLimit || (depthLimit != 0 && depth > depthLimit);
}

void KzJsonBase::replaceErrorTrace(const KzJsonErrorTrace &newTrace)
{
    trace = newTrace ? std::make_shared<std::vector<KzJsonErrorRecord>>(*newTrace) : nullptr;
}
