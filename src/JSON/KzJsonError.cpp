// SPDX-License-Identifier: MIT

#include "KzJsonError.h"

#include <utility>

KzJsonError::KzJsonError(KzJSONErrorCode code, std::string description,
                         std::shared_ptr<const KzJsonError> underlying)
    : errorCode(code), text(std::move(description)), underlyingError(std::move(underlying))
{
}
