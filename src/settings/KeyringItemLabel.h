// SPDX-License-Identifier: MIT

#pragma once

#include <QString>

// Names the Secret Service item that holds a user's API key for people
// ("Pellix API key for alice", as Seahorse lists it): QtKeychain labels every
// item with its service name alone. Without a Secret Service (KWallet lists
// the entry by user name) or on any failure the label stays as it was.
class KeyringItemLabel
{
public:
    static QString of(const QString &username);
    static void apply(const QString &service, const QString &username);
};
