// SPDX-License-Identifier: MIT

#include "LoggingCategories.h"

Q_LOGGING_CATEGORY(lcStream, "pellix.stream", QtWarningMsg)
Q_LOGGING_CATEGORY(lcNotify, "pellix.notify", QtWarningMsg)
Q_LOGGING_CATEGORY(lcDecode, "pellix.decode", QtWarningMsg)
Q_LOGGING_CATEGORY(lcPrefs, "pellix.prefs", QtWarningMsg)
Q_LOGGING_CATEGORY(lcDesktop, "pellix.desktop", QtWarningMsg)
