// SPDX-License-Identifier: MIT

#pragma once

#include <QString>

#include <functional>

class QObject;

// What the agent asks of the Secret Service itself, beyond what QtKeychain
// does: a label people recognise on the item that holds a user's key
// ("Pellix API key for alice", as Seahorse lists it; QtKeychain labels every
// item with its service name alone), and how the default collection stands,
// since a lookup finds nothing, as if no key were stored, both where the
// collection is locked (its unlock refused, or no prompt to ask) and where
// there is none (a keyring daemon never set up, which cannot store either).
// Without a Secret Service (KWallet) or on any failure the label stays and
// the collection counts as open.
class SecretServiceAccess
{
public:
    static const QString name;
    static const QString path;
    static const QString interface;

    static QString labelFor(const QString &username);
    static void label(const QString &service, const QString &username);
    enum class Collection { Open, Locked, Missing };
    static void askForDefaultCollection(QObject *context, std::function<void(Collection)> answer);
    // libsecret keeps its session with the daemon that first answered: once
    // another has taken the name (a keyring daemon restarted), every call
    // would fail with "The session does not exist".
    static void forgetSession();
};
