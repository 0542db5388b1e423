<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de">
<context>
    <name>AgentCommandLine</name>
    <message>
        <source>one option at most</source>
        <translation>höchstens eine Option</translation>
    </message>
    <message>
        <source>unknown option &apos;%1&apos;</source>
        <extracomment>%1 is the option as typed.</extracomment>
        <translation>unbekannte Option „%1“</translation>
    </message>
    <message>
        <source>Usage: pellix-growl [--preferences | --quit | --status | --help | --version]

Without an option, starts the Pellix agent, or opens the Preferences of the
agent already running in this session.

  --preferences  open the Preferences, of the running agent or of one started
                 for it
  --quit         end the running agent; exit status 1 when none runs
  --status       print where the running agent&apos;s stream stands; exit status 0
                 when connected, 3 when not, 1 when no agent runs
  --help         print this text
  --version      print the version
</source>
        <extracomment>The option names (--preferences and so on) and &quot;pellix-growl&quot; stay as they are.</extracomment>
        <translation>Aufruf: pellix-growl [--preferences | --quit | --status | --help | --version]

Ohne Option wird der Pellix-Agent gestartet oder, falls in dieser Sitzung
bereits ein Agent läuft, werden dessen Einstellungen geöffnet.

  --preferences  die Einstellungen des laufenden Agenten öffnen; läuft keiner,
                 wird dafür einer gestartet
  --quit         den laufenden Agenten beenden; Beendigungsstatus 1, wenn
                 keiner läuft
  --status       den Zustand des Streams des laufenden Agenten anzeigen;
                 Beendigungsstatus 0 bei bestehender Verbindung, 3 ohne
                 Verbindung, 1, wenn kein Agent läuft
  --help         diesen Text anzeigen
  --version      die Version anzeigen
</translation>
    </message>
</context>
<context>
    <name>AgentInstance</name>
    <message>
        <source>another agent holds %1 but did not open its preferences: %2</source>
        <extracomment>%1 is the agent&apos;s name on the session bus, %2 the error it answered with.</extracomment>
        <translation>ein anderer Agent belegt %1, hat seine Einstellungen aber nicht geöffnet: %2</translation>
    </message>
    <message>
        <source>no agent is running in this session</source>
        <translation>in dieser Sitzung läuft kein Agent</translation>
    </message>
</context>
<context>
    <name>ApiKeyStore</name>
    <message>
        <source>Stored in the settings file; no keyring is running</source>
        <translation>In der Einstellungsdatei gespeichert; es läuft kein Schlüsselbund</translation>
    </message>
    <message>
        <source>Stored in the settings file until it can be moved into your keyring</source>
        <translation>In der Einstellungsdatei gespeichert, bis er in Ihren Schlüsselbund verschoben werden kann</translation>
    </message>
    <message>
        <source>Stored in your keyring</source>
        <translation>In Ihrem Schlüsselbund gespeichert</translation>
    </message>
</context>
<context>
    <name>GrowlApplicationBridge</name>
    <message>
        <source>Open</source>
        <extracomment>The button of a notification that opens its address.</extracomment>
        <translation>Öffnen</translation>
    </message>
</context>
<context>
    <name>PrefsWindow</name>
    <message>
        <source>Pellix Preferences</source>
        <translation>Pellix-Einstellungen</translation>
    </message>
    <message>
        <source>&lt;b&gt;Pellix&lt;/b&gt;&lt;br&gt;Sign in to receive your notifications.</source>
        <translation>&lt;b&gt;Pellix&lt;/b&gt;&lt;br&gt;Melden Sie sich an, um Ihre Benachrichtigungen zu erhalten.</translation>
    </message>
    <message>
        <source>&amp;User name:</source>
        <translation>&amp;Benutzername:</translation>
    </message>
    <message>
        <source>API &amp;key:</source>
        <translation>API-&amp;Schlüssel:</translation>
    </message>
    <message>
        <source>&amp;Server:</source>
        <translation>Se&amp;rver:</translation>
    </message>
    <message>
        <source>&amp;Monochrome tray icon</source>
        <translation>&amp;Einfarbiges Symbol im Systemabschnitt</translation>
    </message>
    <message>
        <source>Start at &amp;login</source>
        <translation>Beim &amp;Anmelden starten</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Speichern</translation>
    </message>
</context>
<context>
    <name>PrefsWindowController</name>
    <message>
        <source>Sign in to receive your notifications.</source>
        <translation>Melden Sie sich an, um Ihre Benachrichtigungen zu erhalten.</translation>
    </message>
    <message>
        <source>Version %1 beta</source>
        <translation>Version %1 Beta</translation>
    </message>
    <message>
        <source>The keyring did not store the API key: %1. Nothing was changed.</source>
        <extracomment>%1 is the keyring&apos;s own reason.</extracomment>
        <translation>Der Schlüsselbund hat den API-Schlüssel nicht gespeichert: %1. Es wurde nichts geändert.</translation>
    </message>
    <message>
        <source>Your preferences could not be saved.</source>
        <translation>Ihre Einstellungen konnten nicht gespeichert werden.</translation>
    </message>
    <message>
        <source>%1 cannot be written. Check that you may write it, or move it aside to start afresh.</source>
        <extracomment>%1 is the settings file&apos;s path.</extracomment>
        <translation>%1 kann nicht geschrieben werden. Prüfen Sie, ob Sie Schreibrechte dafür haben, oder verschieben Sie die Datei, um neu zu beginnen.</translation>
    </message>
    <message>
        <source>%1 cannot be written: %2. It keeps the settings it holds; Pellix saves these while it runs, as soon as it can.</source>
        <extracomment>%1 is the settings file&apos;s path, %2 why it cannot be written (&quot;the disk is full&quot;).</extracomment>
        <translation>%1 kann nicht geschrieben werden: %2. Die aktuellen Einstellungen bleiben erhalten; Pellix speichert sie, solange es läuft, sobald es möglich ist.</translation>
    </message>
</context>
<context>
    <name>SettingsStore</name>
    <message>
        <source>its disk is read-only</source>
        <translation>sein Datenträger ist schreibgeschützt</translation>
    </message>
    <message>
        <source>the disk is full</source>
        <translation>der Datenträger ist voll</translation>
    </message>
    <message>
        <source>its folder cannot be written</source>
        <translation>in seinen Ordner kann nicht geschrieben werden</translation>
    </message>
    <message>
        <source>writing it failed</source>
        <translation>das Schreiben ist fehlgeschlagen</translation>
    </message>
</context>
<context>
    <name>StreamState</name>
    <message>
        <source>1 minute</source>
        <translation>1 Minute</translation>
    </message>
    <message>
        <source>%1 minutes</source>
        <translation>%1 Minuten</translation>
    </message>
    <message>
        <source>%1 s</source>
        <translation>%1 s</translation>
    </message>
    <message>
        <source>%1 ms</source>
        <translation>%1 ms</translation>
    </message>
    <message>
        <source>the server ended the stream</source>
        <translation>der Server hat den Stream beendet</translation>
    </message>
    <message>
        <source>nothing arrived for %1</source>
        <extracomment>%1 is a span of time (&quot;5 minutes&quot;).</extracomment>
        <translation>seit %1 ist nichts angekommen</translation>
    </message>
    <message>
        <source>the server in Preferences</source>
        <translation>der Server aus den Einstellungen</translation>
    </message>
    <message>
        <source>the server refused the API key (HTTP %1)</source>
        <translation>der Server hat den API-Schlüssel abgelehnt (HTTP %1)</translation>
    </message>
    <message>
        <source>the server redirected to %1 (HTTP %2)</source>
        <extracomment>%1 is where the server pointed (&quot;plain http&quot;), %2 the HTTP status.</extracomment>
        <translation>der Server hat auf %1 umgeleitet (HTTP %2)</translation>
    </message>
    <message>
        <source>the server answered HTTP %1</source>
        <translation>der Server hat mit HTTP %1 geantwortet</translation>
    </message>
    <message>
        <source>cannot reach %1</source>
        <extracomment>%1 is the stream server&apos;s host.</extracomment>
        <translation>%1 ist nicht erreichbar</translation>
    </message>
    <message>
        <source>cannot find %1</source>
        <translation>%1 wurde nicht gefunden</translation>
    </message>
    <message>
        <source>the connection was lost (no answer from the server)</source>
        <translation>die Verbindung ist abgebrochen (keine Antwort vom Server)</translation>
    </message>
    <message>
        <source>cannot reach the proxy %1</source>
        <translation>der Proxy %1 ist nicht erreichbar</translation>
    </message>
    <message>
        <source>the proxy %1 refused the connection</source>
        <translation>der Proxy %1 hat die Verbindung abgelehnt</translation>
    </message>
    <message>
        <source>the proxy %1 asks for credentials</source>
        <translation>der Proxy %1 verlangt Anmeldedaten</translation>
    </message>
    <message>
        <source>cannot reach %1 securely: %2</source>
        <extracomment>%1 is the host, %2 what is wrong with its certificate, as Qt words it.</extracomment>
        <translation>%1 ist nicht sicher erreichbar: %2</translation>
    </message>
    <message>
        <source>the server did not answer</source>
        <translation>der Server hat nicht geantwortet</translation>
    </message>
    <message>
        <source>the server&apos;s answer could not be read</source>
        <translation>die Antwort des Servers konnte nicht gelesen werden</translation>
    </message>
    <message>
        <source>an address that is not http or https</source>
        <translation>eine Adresse, die weder http noch https ist</translation>
    </message>
    <message>
        <source>an address with a user name or password</source>
        <translation>eine Adresse mit Benutzername oder Passwort</translation>
    </message>
    <message>
        <source>plain http</source>
        <translation>unverschlüsseltes http</translation>
    </message>
    <message>
        <source>Not signed in — open Preferences</source>
        <translation>Nicht angemeldet — Einstellungen öffnen</translation>
    </message>
    <message>
        <source>Waiting for the keyring to be unlocked</source>
        <translation>Warten auf das Entsperren des Schlüsselbunds</translation>
    </message>
    <message>
        <source>The keyring did not give the API key: %1</source>
        <extracomment>%1 is the keyring&apos;s reason.</extracomment>
        <translation>Der Schlüsselbund hat den API-Schlüssel nicht herausgegeben: %1</translation>
    </message>
    <message>
        <source>Connecting to %1…</source>
        <extracomment>%1 is the stream server&apos;s host.</extracomment>
        <translation>Verbindung zu %1 wird hergestellt…</translation>
    </message>
    <message>
        <source>Connected as %1 since %2</source>
        <extracomment>%1 is the user name, %2 a time of day in the user&apos;s locale.</extracomment>
        <translation>Verbunden als %1 seit %2</translation>
    </message>
    <message>
        <source> (offline %1–%2)</source>
        <extracomment>Follows &quot;Connected as … since …&quot;: %1 and %2 are times of day.</extracomment>
        <translation> (offline %1–%2)</translation>
    </message>
    <message>
        <source>Offline since %1 — next attempt at %2: %3</source>
        <extracomment>%1 and %2 are times of day (%2 with seconds), %3 the reason (&quot;cannot reach stream.pellix.org&quot;).</extracomment>
        <translation>Offline seit %1 — nächster Versuch um %2: %3</translation>
    </message>
</context>
<context>
    <name>pellix_growlAppDelegate</name>
    <message>
        <source>waiting up to %1 s for a desktop notification service…</source>
        <translation>warte bis zu %1 s auf einen Benachrichtigungsdienst der Arbeitsumgebung…</translation>
    </message>
    <message>
        <source>Listening for notifications...</source>
        <translation>Warte auf Benachrichtigungen...</translation>
    </message>
    <message>
        <source>No desktop notification service (org.freedesktop.Notifications) is on the session bus. Start your desktop&apos;s, or install one (for instance dunst), and start Pellix again.</source>
        <translation>Auf dem Sitzungsbus ist kein Benachrichtigungsdienst (org.freedesktop.Notifications) vorhanden. Starten Sie den Ihrer Arbeitsumgebung oder installieren Sie einen (zum Beispiel dunst) und starten Sie Pellix erneut.</translation>
    </message>
    <message>
        <source>There is no D-Bus session bus, so no desktop notification service can be reached. Start Pellix from within your desktop session.</source>
        <translation>Es gibt keinen D-Bus-Sitzungsbus, daher ist kein Benachrichtigungsdienst der Arbeitsumgebung erreichbar. Starten Sie Pellix innerhalb Ihrer Desktop-Sitzung.</translation>
    </message>
    <message>
        <source>Growl must be installed and running before using the Pellix growl agent. Requires Growl v1.2.1 or higher.</source>
        <extracomment>&quot;Growl&quot; is the desktop&apos;s notification service (the name of the one the agent was first written for).</extracomment>
        <translation>Growl muss installiert sein und laufen, bevor der Pellix-Growl-Agent verwendet werden kann. Erfordert Growl v1.2.1 oder neuer.</translation>
    </message>
    <message>
        <source>Preferences</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Beenden</translation>
    </message>
</context>
</TS>
