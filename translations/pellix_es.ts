<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="es">
<context>
    <name>AgentCommandLine</name>
    <message>
        <source>one option at most</source>
        <translation>como máximo una opción</translation>
    </message>
    <message>
        <source>unknown option &apos;%1&apos;</source>
        <extracomment>%1 is the option as typed.</extracomment>
        <translation>opción desconocida «%1»</translation>
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
        <translation>Uso: pellix-growl [--preferences | --quit | --status | --help | --version]

Sin opciones, inicia el agente de Pellix o, si ya hay uno en ejecución en
esta sesión, abre sus Preferencias.

  --preferences  abre las Preferencias del agente en ejecución o de uno
                 iniciado para ello
  --quit         termina el agente en ejecución; código de salida 1 si no
                 hay ninguno
  --status       muestra el estado del flujo del agente en ejecución; código
                 de salida 0 si está conectado, 3 si no, 1 si no hay ningún
                 agente en ejecución
  --help         muestra este texto
  --version      muestra la versión
</translation>
    </message>
</context>
<context>
    <name>AgentInstance</name>
    <message>
        <source>another agent holds %1 but did not open its preferences: %2</source>
        <extracomment>%1 is the agent&apos;s name on the session bus, %2 the error it answered with.</extracomment>
        <translation>otro agente ocupa %1, pero no abrió sus preferencias: %2</translation>
    </message>
    <message>
        <source>no agent is running in this session</source>
        <translation>no hay ningún agente en ejecución en esta sesión</translation>
    </message>
</context>
<context>
    <name>ApiKeyStore</name>
    <message>
        <source>Stored in the settings file; no keyring is running</source>
        <translation>Guardada en el archivo de configuración; no hay ningún llavero en ejecución</translation>
    </message>
    <message>
        <source>Stored in the settings file until it can be moved into your keyring</source>
        <translation>Guardada en el archivo de configuración hasta que pueda moverse a su llavero</translation>
    </message>
    <message>
        <source>Stored in your keyring</source>
        <translation>Guardada en su llavero</translation>
    </message>
</context>
<context>
    <name>GrowlApplicationBridge</name>
    <message>
        <source>Open</source>
        <extracomment>The button of a notification that opens its address.</extracomment>
        <translation>Abrir</translation>
    </message>
</context>
<context>
    <name>PrefsWindow</name>
    <message>
        <source>Pellix Preferences</source>
        <translation>Preferencias de Pellix</translation>
    </message>
    <message>
        <source>&lt;b&gt;Pellix&lt;/b&gt;&lt;br&gt;Sign in to receive your notifications.</source>
        <translation>&lt;b&gt;Pellix&lt;/b&gt;&lt;br&gt;Inicie sesión para recibir sus notificaciones.</translation>
    </message>
    <message>
        <source>&amp;User name:</source>
        <translation>&amp;Nombre de usuario:</translation>
    </message>
    <message>
        <source>API &amp;key:</source>
        <translation>&amp;Clave de API:</translation>
    </message>
    <message>
        <source>&amp;Server:</source>
        <translation>&amp;Servidor:</translation>
    </message>
    <message>
        <source>&amp;Monochrome tray icon</source>
        <translation>Icono &amp;monocromo en la bandeja del sistema</translation>
    </message>
    <message>
        <source>Start at &amp;login</source>
        <translation>Ejecutar al &amp;iniciar sesión</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Guardar</translation>
    </message>
</context>
<context>
    <name>PrefsWindowController</name>
    <message>
        <source>Sign in to receive your notifications.</source>
        <translation>Inicie sesión para recibir sus notificaciones.</translation>
    </message>
    <message>
        <source>Version %1 beta</source>
        <translation>Versión %1 beta</translation>
    </message>
    <message>
        <source>The keyring did not store the API key: %1. Nothing was changed.</source>
        <extracomment>%1 is the keyring&apos;s own reason.</extracomment>
        <translation>El llavero no guardó la clave de API: %1. No se ha cambiado nada.</translation>
    </message>
    <message>
        <source>Your preferences could not be saved.</source>
        <translation>No se pudieron guardar sus preferencias.</translation>
    </message>
    <message>
        <source>%1 cannot be written. Check that you may write it, or move it aside to start afresh.</source>
        <extracomment>%1 is the settings file&apos;s path.</extracomment>
        <translation>No se puede escribir en %1. Compruebe que tiene permiso de escritura o muévalo a otro sitio para empezar de cero.</translation>
    </message>
    <message>
        <source>%1 cannot be written: %2. It keeps the settings it holds; Pellix saves these while it runs, as soon as it can.</source>
        <extracomment>%1 is the settings file&apos;s path, %2 why it cannot be written (&quot;the disk is full&quot;).</extracomment>
        <translation>No se puede escribir en %1: %2. Se conserva la configuración actual; Pellix la guardará en cuanto pueda mientras esté en ejecución.</translation>
    </message>
</context>
<context>
    <name>SettingsStore</name>
    <message>
        <source>its disk is read-only</source>
        <translation>su disco es de solo lectura</translation>
    </message>
    <message>
        <source>the disk is full</source>
        <translation>el disco está lleno</translation>
    </message>
    <message>
        <source>its folder cannot be written</source>
        <translation>no se puede escribir en su carpeta</translation>
    </message>
    <message>
        <source>writing it failed</source>
        <translation>falló la escritura</translation>
    </message>
</context>
<context>
    <name>StreamState</name>
    <message>
        <source>1 minute</source>
        <translation>1 minuto</translation>
    </message>
    <message>
        <source>%1 minutes</source>
        <translation>%1 minutos</translation>
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
        <translation>el servidor cerró el flujo</translation>
    </message>
    <message>
        <source>nothing arrived for %1</source>
        <extracomment>%1 is a span of time (&quot;5 minutes&quot;).</extracomment>
        <translation>no ha llegado nada en %1</translation>
    </message>
    <message>
        <source>the server in Preferences</source>
        <translation>el servidor indicado en Preferencias</translation>
    </message>
    <message>
        <source>the server refused the API key (HTTP %1)</source>
        <translation>el servidor rechazó la clave de API (HTTP %1)</translation>
    </message>
    <message>
        <source>the server redirected to %1 (HTTP %2)</source>
        <extracomment>%1 is where the server pointed (&quot;plain http&quot;), %2 the HTTP status.</extracomment>
        <translation>el servidor redirigió a %1 (HTTP %2)</translation>
    </message>
    <message>
        <source>the server answered HTTP %1</source>
        <translation>el servidor respondió con HTTP %1</translation>
    </message>
    <message>
        <source>cannot reach %1</source>
        <extracomment>%1 is the stream server&apos;s host.</extracomment>
        <translation>no se puede conectar con %1</translation>
    </message>
    <message>
        <source>cannot find %1</source>
        <translation>no se encuentra %1</translation>
    </message>
    <message>
        <source>the connection was lost (no answer from the server)</source>
        <translation>se perdió la conexión (sin respuesta del servidor)</translation>
    </message>
    <message>
        <source>cannot reach the proxy %1</source>
        <translation>no se puede conectar con el proxy %1</translation>
    </message>
    <message>
        <source>the proxy %1 refused the connection</source>
        <translation>el proxy %1 rechazó la conexión</translation>
    </message>
    <message>
        <source>the proxy %1 asks for credentials</source>
        <translation>el proxy %1 pide credenciales</translation>
    </message>
    <message>
        <source>cannot reach %1 securely: %2</source>
        <extracomment>%1 is the host, %2 what is wrong with its certificate, as Qt words it.</extracomment>
        <translation>no se puede conectar de forma segura con %1: %2</translation>
    </message>
    <message>
        <source>the server did not answer</source>
        <translation>el servidor no respondió</translation>
    </message>
    <message>
        <source>the server&apos;s answer could not be read</source>
        <translation>no se pudo leer la respuesta del servidor</translation>
    </message>
    <message>
        <source>an address that is not http or https</source>
        <translation>una dirección que no es http ni https</translation>
    </message>
    <message>
        <source>an address with a user name or password</source>
        <translation>una dirección con nombre de usuario o contraseña</translation>
    </message>
    <message>
        <source>plain http</source>
        <translation>http sin cifrar</translation>
    </message>
    <message>
        <source>Not signed in — open Preferences</source>
        <translation>Sesión no iniciada — abra Preferencias</translation>
    </message>
    <message>
        <source>Waiting for the keyring to be unlocked</source>
        <translation>Esperando a que se desbloquee el llavero</translation>
    </message>
    <message>
        <source>The keyring did not give the API key: %1</source>
        <extracomment>%1 is the keyring&apos;s reason.</extracomment>
        <translation>El llavero no proporcionó la clave de API: %1</translation>
    </message>
    <message>
        <source>Connecting to %1…</source>
        <extracomment>%1 is the stream server&apos;s host.</extracomment>
        <translation>Conectando con %1…</translation>
    </message>
    <message>
        <source>Connected as %1 since %2</source>
        <extracomment>%1 is the user name, %2 a time of day in the user&apos;s locale.</extracomment>
        <translation>Conectado como %1 desde las %2</translation>
    </message>
    <message>
        <source> (offline %1–%2)</source>
        <extracomment>Follows &quot;Connected as … since …&quot;: %1 and %2 are times of day.</extracomment>
        <translation> (sin conexión %1–%2)</translation>
    </message>
    <message>
        <source>Offline since %1 — next attempt at %2: %3</source>
        <extracomment>%1 and %2 are times of day (%2 with seconds), %3 the reason (&quot;cannot reach stream.pellix.org&quot;).</extracomment>
        <translation>Sin conexión desde las %1 — próximo intento a las %2: %3</translation>
    </message>
</context>
<context>
    <name>pellix_growlAppDelegate</name>
    <message>
        <source>waiting up to %1 s for a desktop notification service…</source>
        <translation>esperando hasta %1 s a un servicio de notificaciones del escritorio…</translation>
    </message>
    <message>
        <source>Listening for notifications...</source>
        <translation>Esperando notificaciones...</translation>
    </message>
    <message>
        <source>No desktop notification service (org.freedesktop.Notifications) is on the session bus. Start your desktop&apos;s, or install one (for instance dunst), and start Pellix again.</source>
        <translation>No hay ningún servicio de notificaciones del escritorio (org.freedesktop.Notifications) en el bus de sesión. Inicie el de su escritorio o instale uno (por ejemplo, dunst) y vuelva a iniciar Pellix.</translation>
    </message>
    <message>
        <source>There is no D-Bus session bus, so no desktop notification service can be reached. Start Pellix from within your desktop session.</source>
        <translation>No hay ningún bus de sesión de D-Bus, por lo que no se puede acceder a ningún servicio de notificaciones del escritorio. Inicie Pellix desde su sesión de escritorio.</translation>
    </message>
    <message>
        <source>Growl must be installed and running before using the Pellix growl agent. Requires Growl v1.2.1 or higher.</source>
        <extracomment>&quot;Growl&quot; is the desktop&apos;s notification service (the name of the one the agent was first written for).</extracomment>
        <translation>Growl debe estar instalado y en ejecución antes de usar el agente Growl de Pellix. Requiere Growl v1.2.1 o superior.</translation>
    </message>
    <message>
        <source>Preferences</source>
        <translation>Preferencias</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Salir</translation>
    </message>
</context>
</TS>
