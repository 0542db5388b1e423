// SPDX-License-Identifier: MIT

#pragma once

#include <QLoggingCategory>

// The agent's diagnostics. Debug and info messages are off unless Qt's
// logging rules switch them on (QT_LOGGING_RULES="pellix.*=true"), so a
// healthy agent writes nothing; warnings are kept for what the user must know.
Q_DECLARE_LOGGING_CATEGORY(lcStream)
Q_DECLARE_LOGGING_CATEGORY(lcNotify)
Q_DECLARE_LOGGING_CATEGORY(lcDecode)
Q_DECLARE_LOGGING_CATEGORY(lcPrefs)
Q_DECLARE_LOGGING_CATEGORY(lcDesktop)
