#include "app/usage.h"

#include "res/resources.h"

namespace {

// $0 stands for the program's name, $1 for the settings file.
constexpr const char* kUsage = R"(Aufruf: $0
        $0 /d
        $0 --list-ports
        $0 --report [--test N] DATEI.pdf|DATEI.csv
        $0 --help | -h | --version

Laser-Transceiver konfigurieren, Link testen und DFÜ-Verbindung aufbauen.

  (ohne Argument)  öffnet den Dialog; lässt sich der eingestellte Port öffnen,
                   läuft der automatische Ablauf: konfigurieren, testen, wählen,
                   Folgeprogramm starten
  /d               trennt die eingestellte DFÜ-Verbindung und endet, ohne Fenster
  --list-ports     gibt die seriellen Geräte und COM1 bis COM4 aus, ohne Fenster
  --report DATEI   schreibt das Inbetriebnahmeprotokoll des letzten
                   aufgezeichneten Linktests als PDF oder CSV, ohne Fenster;
                   mit --test N das des N-letzten (1 ist der letzte)
  -h, --help       zeigt diese Hilfe
  --version        zeigt Programmname und Version

Jeder Linktest wird aufgezeichnet, eine Datei je Test, in
  $XDG_STATE_HOME/Talvenmark/Quillmere/linktests (Vorgabe ~/.local/state/...).

Diese Argumente wirken nur allein und genau so geschrieben; jede andere
Befehlszeile öffnet den Dialog.

Einstellungen: $1
  (nach dem Namen benannt, unter dem das Programm gestartet wurde)

Umgebungsvariablen:
  XDG_CONFIG_HOME        Ordner der Einstellungen statt ~/.config
  XDG_STATE_HOME         Ordner der Linktest-Aufzeichnungen statt ~/.local/state
  HOME                   Home-Ordner; ohne ihn der aus der Benutzerdatenbank
  QUILLMERE_TRACE        gesetzt und nicht „0“: jede Änderung am Dialog als Zeile
                         „trace: …“ auf die Standardfehlerausgabe
  QUILLMERE_TRACE_FILE   dieselben Zeilen stattdessen ans Ende dieser Datei
  QUILLMERE_LOCK_DIR     Ordner der Sperrdateien LCK..<Gerät>; Vorgabe /var/lock
  DISPLAY, WAYLAND_DISPLAY, QT_QPA_PLATFORM
                         die Anzeige; mit QT_QPA_PLATFORM=offscreen ohne Bildschirm
  DBUS_SYSTEM_BUS_ADDRESS
                         der Systembus, über den der NetworkManager erreicht wird
  PATH                   wo das Folgeprogramm gesucht wird

Exit-Status: 0 Dialog geschlossen, nach /d, nach erfolgreicher Einwahl und
geschriebenem Bericht; 1 interner Fehler, Folgeprogramm nicht startbar, kein
aufgezeichneter Linktest oder Bericht nicht schreibbar; 2 keine Anzeige;
128+N beendet durch das Signal N.

Mehr in „man Quillmere“.
)";

} // namespace

InfoRequest InfoRequestOf(const std::string& commandLine) {
    if (commandLine == "--help" || commandLine == "-h")
        return InfoRequest::Help;
    if (commandLine == "--version")
        return InfoRequest::Version;
    return InfoRequest::None;
}

std::string UsageText(const std::string& programName, const std::string& settingsFile) {
    const std::string text = kUsage;
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '$' && i + 1 < text.size() && (text[i + 1] == '0' || text[i + 1] == '1')) {
            out += text[++i] == '0'       ? programName
                   : settingsFile.empty() ? "keine (kein Home-Ordner bekannt)"
                                          : settingsFile;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string VersionText() {
    const VersionInfo& v = GetVersionInfo();
    return std::string(v.internalName) + " " + v.versionDotted + "\n" + v.legalCopyright + "\n";
}
