<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr">
<context>
    <name>AgentCommandLine</name>
    <message>
        <source>one option at most</source>
        <translation>une option au maximum</translation>
    </message>
    <message>
        <source>unknown option &apos;%1&apos;</source>
        <extracomment>%1 is the option as typed.</extracomment>
        <translation>option inconnue « %1 »</translation>
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
        <translation>Usage : pellix-growl [--preferences | --quit | --status | --help | --version]

Sans option, démarre l&apos;agent Pellix ou, si un agent est déjà lancé dans
cette session, ouvre ses Préférences.

  --preferences  ouvrir les Préférences de l&apos;agent en cours d&apos;exécution, ou
                 d&apos;un agent démarré à cet effet
  --quit         arrêter l&apos;agent en cours d&apos;exécution ; code de sortie 1 si
                 aucun agent n&apos;est lancé
  --status       afficher l&apos;état du flux de l&apos;agent en cours d&apos;exécution ;
                 code de sortie 0 si connecté, 3 sinon, 1 si aucun agent
                 n&apos;est lancé
  --help         afficher ce texte
  --version      afficher la version
</translation>
    </message>
</context>
<context>
    <name>AgentInstance</name>
    <message>
        <source>another agent holds %1 but did not open its preferences: %2</source>
        <extracomment>%1 is the agent&apos;s name on the session bus, %2 the error it answered with.</extracomment>
        <translation>un autre agent occupe %1 mais n&apos;a pas ouvert ses préférences : %2</translation>
    </message>
    <message>
        <source>no agent is running in this session</source>
        <translation>aucun agent n&apos;est lancé dans cette session</translation>
    </message>
</context>
<context>
    <name>ApiKeyStore</name>
    <message>
        <source>Stored in the settings file; no keyring is running</source>
        <translation>Stockée dans le fichier de configuration ; aucun trousseau de clés n&apos;est actif</translation>
    </message>
    <message>
        <source>Stored in the settings file until it can be moved into your keyring</source>
        <translation>Stockée dans le fichier de configuration jusqu&apos;à ce qu&apos;elle puisse être déplacée dans votre trousseau de clés</translation>
    </message>
    <message>
        <source>Stored in your keyring</source>
        <translation>Stockée dans votre trousseau de clés</translation>
    </message>
</context>
<context>
    <name>GrowlApplicationBridge</name>
    <message>
        <source>Open</source>
        <extracomment>The button of a notification that opens its address.</extracomment>
        <translation>Ouvrir</translation>
    </message>
</context>
<context>
    <name>PrefsWindow</name>
    <message>
        <source>Pellix Preferences</source>
        <translation>Préférences de Pellix</translation>
    </message>
    <message>
        <source>&lt;b&gt;Pellix&lt;/b&gt;&lt;br&gt;Sign in to receive your notifications.</source>
        <translation>&lt;b&gt;Pellix&lt;/b&gt;&lt;br&gt;Connectez-vous pour recevoir vos notifications.</translation>
    </message>
    <message>
        <source>&amp;User name:</source>
        <translation>Nom d&apos;&amp;utilisateur :</translation>
    </message>
    <message>
        <source>API &amp;key:</source>
        <translation>&amp;Clé d&apos;API :</translation>
    </message>
    <message>
        <source>&amp;Server:</source>
        <translation>&amp;Serveur :</translation>
    </message>
    <message>
        <source>&amp;Monochrome tray icon</source>
        <translation>Icône &amp;monochrome dans la zone de notification</translation>
    </message>
    <message>
        <source>Start at &amp;login</source>
        <translation>&amp;Lancer à l&apos;ouverture de session</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Enregistrer</translation>
    </message>
</context>
<context>
    <name>PrefsWindowController</name>
    <message>
        <source>Sign in to receive your notifications.</source>
        <translation>Connectez-vous pour recevoir vos notifications.</translation>
    </message>
    <message>
        <source>Version %1 beta</source>
        <translation>Version %1 bêta</translation>
    </message>
    <message>
        <source>The keyring did not store the API key: %1. Nothing was changed.</source>
        <extracomment>%1 is the keyring&apos;s own reason.</extracomment>
        <translation>Le trousseau de clés n&apos;a pas enregistré la clé d&apos;API : %1. Rien n&apos;a été modifié.</translation>
    </message>
    <message>
        <source>Your preferences could not be saved.</source>
        <translation>Vos préférences n&apos;ont pas pu être enregistrées.</translation>
    </message>
    <message>
        <source>%1 cannot be written. Check that you may write it, or move it aside to start afresh.</source>
        <extracomment>%1 is the settings file&apos;s path.</extracomment>
        <translation>Impossible d&apos;écrire dans %1. Vérifiez que vous avez le droit d&apos;y écrire, ou déplacez-le ailleurs pour repartir de zéro.</translation>
    </message>
    <message>
        <source>%1 cannot be written: %2. It keeps the settings it holds; Pellix saves these while it runs, as soon as it can.</source>
        <extracomment>%1 is the settings file&apos;s path, %2 why it cannot be written (&quot;the disk is full&quot;).</extracomment>
        <translation>Impossible d&apos;écrire dans %1 : %2. Les paramètres actuels sont conservés ; Pellix les enregistrera dès que possible tant qu&apos;il est en cours d&apos;exécution.</translation>
    </message>
</context>
<context>
    <name>SettingsStore</name>
    <message>
        <source>its disk is read-only</source>
        <translation>son disque est en lecture seule</translation>
    </message>
    <message>
        <source>the disk is full</source>
        <translation>le disque est plein</translation>
    </message>
    <message>
        <source>its folder cannot be written</source>
        <translation>son dossier n&apos;est pas accessible en écriture</translation>
    </message>
    <message>
        <source>writing it failed</source>
        <translation>l&apos;écriture a échoué</translation>
    </message>
</context>
<context>
    <name>StreamState</name>
    <message>
        <source>1 minute</source>
        <translation>1 minute</translation>
    </message>
    <message>
        <source>%1 minutes</source>
        <translation>%1 minutes</translation>
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
        <translation>le serveur a mis fin au flux</translation>
    </message>
    <message>
        <source>nothing arrived for %1</source>
        <extracomment>%1 is a span of time (&quot;5 minutes&quot;).</extracomment>
        <translation>rien reçu depuis %1</translation>
    </message>
    <message>
        <source>the server in Preferences</source>
        <translation>le serveur indiqué dans les Préférences</translation>
    </message>
    <message>
        <source>the server refused the API key (HTTP %1)</source>
        <translation>le serveur a refusé la clé d&apos;API (HTTP %1)</translation>
    </message>
    <message>
        <source>the server redirected to %1 (HTTP %2)</source>
        <extracomment>%1 is where the server pointed (&quot;plain http&quot;), %2 the HTTP status.</extracomment>
        <translation>le serveur a redirigé vers %1 (HTTP %2)</translation>
    </message>
    <message>
        <source>the server answered HTTP %1</source>
        <translation>le serveur a répondu HTTP %1</translation>
    </message>
    <message>
        <source>cannot reach %1</source>
        <extracomment>%1 is the stream server&apos;s host.</extracomment>
        <translation>impossible de joindre %1</translation>
    </message>
    <message>
        <source>cannot find %1</source>
        <translation>impossible de trouver %1</translation>
    </message>
    <message>
        <source>the connection was lost (no answer from the server)</source>
        <translation>la connexion a été perdue (pas de réponse du serveur)</translation>
    </message>
    <message>
        <source>cannot reach the proxy %1</source>
        <translation>impossible de joindre le proxy %1</translation>
    </message>
    <message>
        <source>the proxy %1 refused the connection</source>
        <translation>le proxy %1 a refusé la connexion</translation>
    </message>
    <message>
        <source>the proxy %1 asks for credentials</source>
        <translation>le proxy %1 demande des identifiants</translation>
    </message>
    <message>
        <source>cannot reach %1 securely: %2</source>
        <extracomment>%1 is the host, %2 what is wrong with its certificate, as Qt words it.</extracomment>
        <translation>impossible de joindre %1 de façon sécurisée : %2</translation>
    </message>
    <message>
        <source>the server did not answer</source>
        <translation>le serveur n&apos;a pas répondu</translation>
    </message>
    <message>
        <source>the server&apos;s answer could not be read</source>
        <translation>la réponse du serveur est illisible</translation>
    </message>
    <message>
        <source>an address that is not http or https</source>
        <translation>une adresse qui n&apos;est ni http ni https</translation>
    </message>
    <message>
        <source>an address with a user name or password</source>
        <translation>une adresse contenant un nom d&apos;utilisateur ou un mot de passe</translation>
    </message>
    <message>
        <source>plain http</source>
        <translation>http non chiffré</translation>
    </message>
    <message>
        <source>Not signed in — open Preferences</source>
        <translation>Non connecté — ouvrez les Préférences</translation>
    </message>
    <message>
        <source>Waiting for the keyring to be unlocked</source>
        <translation>En attente du déverrouillage du trousseau de clés</translation>
    </message>
    <message>
        <source>The keyring did not give the API key: %1</source>
        <extracomment>%1 is the keyring&apos;s reason.</extracomment>
        <translation>Le trousseau de clés n&apos;a pas fourni la clé d&apos;API : %1</translation>
    </message>
    <message>
        <source>Connecting to %1…</source>
        <extracomment>%1 is the stream server&apos;s host.</extracomment>
        <translation>Connexion à %1…</translation>
    </message>
    <message>
        <source>Connected as %1 since %2</source>
        <extracomment>%1 is the user name, %2 a time of day in the user&apos;s locale.</extracomment>
        <translation>Connecté en tant que %1 depuis %2</translation>
    </message>
    <message>
        <source> (offline %1–%2)</source>
        <extracomment>Follows &quot;Connected as … since …&quot;: %1 and %2 are times of day.</extracomment>
        <translation> (hors ligne %1–%2)</translation>
    </message>
    <message>
        <source>Offline since %1 — next attempt at %2: %3</source>
        <extracomment>%1 and %2 are times of day (%2 with seconds), %3 the reason (&quot;cannot reach stream.pellix.org&quot;).</extracomment>
        <translation>Hors ligne depuis %1 — prochaine tentative à %2 : %3</translation>
    </message>
</context>
<context>
    <name>pellix_growlAppDelegate</name>
    <message>
        <source>waiting up to %1 s for a desktop notification service…</source>
        <translation>attente d&apos;un service de notifications du bureau pendant %1 s au plus…</translation>
    </message>
    <message>
        <source>Listening for notifications...</source>
        <translation>En attente de notifications...</translation>
    </message>
    <message>
        <source>No desktop notification service (org.freedesktop.Notifications) is on the session bus. Start your desktop&apos;s, or install one (for instance dunst), and start Pellix again.</source>
        <translation>Aucun service de notifications du bureau (org.freedesktop.Notifications) n&apos;est présent sur le bus de session. Lancez celui de votre environnement de bureau, ou installez-en un (par exemple dunst), puis relancez Pellix.</translation>
    </message>
    <message>
        <source>There is no D-Bus session bus, so no desktop notification service can be reached. Start Pellix from within your desktop session.</source>
        <translation>Il n&apos;y a pas de bus de session D-Bus, aucun service de notifications du bureau n&apos;est donc joignable. Lancez Pellix depuis votre session de bureau.</translation>
    </message>
    <message>
        <source>Growl must be installed and running before using the Pellix growl agent. Requires Growl v1.2.1 or higher.</source>
        <extracomment>&quot;Growl&quot; is the desktop&apos;s notification service (the name of the one the agent was first written for).</extracomment>
        <translation>Growl doit être installé et lancé pour pouvoir utiliser l&apos;agent Growl de Pellix. Nécessite Growl v1.2.1 ou supérieur.</translation>
    </message>
    <message>
        <source>Preferences</source>
        <translation>Préférences</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Quitter</translation>
    </message>
</context>
</TS>
