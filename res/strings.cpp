#include "res/resource.h"
#include "res/resources.h"

std::string LoadResourceString(int id) {
    switch (id) {
    case IDS_ABOUT_MENU:
        return "Inf&o über Quillmere...";
    case IDS_PORTS_MENU:
        return "&Anschlüsse...";
    case IDS_CHOOSE_PROGRAM:
        return "Programm wählen";
    case IDS_NO_DISPLAY:
        return "Quillmere kann kein Fenster öffnen: Es steht keine Anzeige zur Verfügung.";
    case IDS_PORT_NO_DEVICE:
        return "kein Gerät";
    case IDS_PORT_NOT_CONNECTED:
        return "%1 (nicht angeschlossen)";
    case IDS_PORT_DEFAULT:
        return "Standard: %1";
    case IDS_PORT_MISSING:
        return "nicht vorhanden";
    case IDS_QUALITY_GOOD:
        return "%1 % – gut";
    case IDS_QUALITY_BAD:
        return "%1 % – zu schwach";
    case IDS_TONE_MENU:
        return "Aus&richtton\tStrg+T";
    case IDS_TONE_UNAVAILABLE:
        return "Kein Ton möglich: %1";
    case IDS_PROTOCOL_MENU:
        return "&Protokoll...";
    case IDS_PROTOCOL_TITLE:
        return "Protokoll der Linktests";
    case IDS_PROTOCOL_COLUMN_DATE:
        return "Datum";
    case IDS_PROTOCOL_COLUMN_PORT:
        return "Anschluss";
    case IDS_PROTOCOL_COLUMN_RATE:
        return "Baudrate";
    case IDS_PROTOCOL_COLUMN_RESULT:
        return "Ergebnis";
    case IDS_PROTOCOL_COLUMN_QUALITY:
        return "Mittlere Qualität";
    case IDS_PROTOCOL_SAVE_PDF:
        return "Als P&DF speichern...";
    case IDS_PROTOCOL_SAVE_CSV:
        return "Als &CSV speichern...";
    case IDS_PROTOCOL_CLOSE:
        return "Schließen";
    case IDS_PROTOCOL_EMPTY:
        return "Es ist noch kein Linktest aufgezeichnet.";
    case IDS_PROTOCOL_DAMAGED:
        return "beschädigt";
    case IDS_PROTOCOL_ASK_SITE:
        return "Standort der Strecke (erscheint im Bericht):";
    case IDS_PROTOCOL_ASK_TECHNICIAN:
        return "Ihr Name als Techniker (erscheint im Bericht):";
    case IDS_PROTOCOL_PDF_FILTER:
        return "PDF-Dateien (*.pdf)";
    case IDS_PROTOCOL_CSV_FILTER:
        return "CSV-Dateien (*.csv)";
    case IDS_PROTOCOL_HEADER_TITLE:
        return "Angaben für den Bericht";
    case IDS_REPORT_USAGE:
        return "Aufruf: --report [--test N] DATEI.pdf|DATEI.csv";
    case IDS_REPORT_NONE:
        return "Es ist kein Linktest aufgezeichnet.";
    case IDS_REPORT_ONLY:
        return "Es sind nur %1 Linktests aufgezeichnet.";
    case IDS_REPORT_NO_PDF:
        return "Dieses Programm schreibt keine PDF-Berichte; bitte DATEI.csv angeben.";
    case IDS_REPORT_WRITE_FAILED:
        return "Der Bericht konnte nicht nach „%1“ geschrieben werden.";
    case IDS_READOUT_MENU:
        return "Ausrichta&nzeige...";
    case IDS_READOUT_NO_TEST:
        return "Kein Linktest";
    case IDS_READOUT_GOOD:
        return "gut";
    case IDS_READOUT_BAD:
        return "zu schwach";
    case IDS_READOUT_PEAK:
        return "Spitze %1 % vor %2 s";
    case IDS_READOUT_TITLE:
        return "Ausrichtanzeige";
    case IDS_READOUT_STARTING:
        return "Linktest beginnt";
    case IDS_PHONE_MENU:
        return "Auf dem &Telefon anzeigen...";
    case IDS_PHONE_NONE:
        return "Kein Telefon verbunden";
    case IDS_PHONE_ONE:
        return "1 Telefon verbunden";
    case IDS_PHONE_MANY:
        return "%1 Telefone verbunden";
    case IDS_PHONE_FAILED:
        return "Die Ausrichtanzeige im Netz kann nicht gestartet werden: %1";
    case IDS_PHONE_TEST_RUNS:
        return "Linktest läuft";
    case IDS_PHONE_NO_TEST:
        return "Kein Linktest läuft";
    case IDS_PHONE_STARTED:
        return "Ausrichtanzeige im Netz: %1";
    case IDS_PHONE_QR_NAME:
        return "QR-Code der Adresse %1";
    case IDS_PORTS_SAVE_FAILED:
        return "FEHLER: Einstellungen konnten nicht gespeichert werden";
    case IDS_DIAL_CONNECTING:
        return "Verbindung wird hergestellt...";
    case IDS_DIAL_NOT_STARTED:
        return "Der Wählvorgang kann nicht gestartet werden.";
    case IDS_DIAL_CLOSE:
        return "Schließen";
    case IDS_DIAL_DIALING:
        return "Wähle %1...";
    case IDS_NM_NO_ANSWER:
        return "Der NetworkManager gibt keine Auskunft.";
    case IDS_NM_UNKNOWN_CONNECTION:
        return "Der NetworkManager kennt keine Verbindung „%1“.";
    case IDS_NM_REFUSED:
        return "Der NetworkManager hat das Verbinden abgelehnt.";
    case IDS_NM_NOT_AUTHORISED:
        return "Keine Berechtigung: Die Rechteverwaltung des Systems hat das Verbinden abgelehnt.";
    case IDS_NM_NO_CARRIER:
        return "Keine Verbindung zum Laser-Transceiver: Das Gerät hat keinen Träger. Prüfen Sie "
               "Kabel und Ausrichtung.";
    case IDS_NM_NO_DEVICE:
        return "Für die Verbindung ist kein Gerät bereit. Prüfen Sie, ob der Laser-Transceiver "
               "angeschlossen ist und die Verbindung das richtige Gerät nennt.";
    case IDS_NM_NO_ADDRESS:
        return "Die Gegenstelle hat keine IP-Adresse vergeben. Prüfen Sie, ob sie Adressen "
               "vergibt (DHCP), oder geben Sie der Verbindung eine feste Adresse.";
    case IDS_NM_NOT_UP:
        return "Die Verbindung ist nicht zustande gekommen.";
    case IDS_NM_ACTIVATING:
        return "Verbindung wird aufgebaut...";
    case IDS_NM_REASON + 2:
        return "Die Verbindung wurde an diesem Rechner getrennt. Wählen Sie erneut, wenn sie "
               "bestehen soll.";
    case IDS_NM_REASON + 3:
        return "Das Gerät der Verbindung wurde getrennt. Prüfen Sie, ob der Laser-Transceiver "
               "angeschlossen und eingeschaltet ist.";
    case IDS_NM_REASON + 4:
        return "Der Dienst der Verbindung wurde beendet. Wählen Sie erneut.";
    case IDS_NM_REASON + 5:
        return "Die Verbindung hat keine gültige IP-Konfiguration erhalten. Prüfen Sie die "
               "IP-Einstellungen der Verbindung.";
    case IDS_NM_REASON + 6:
        return "Die Verbindung kam nicht rechtzeitig zustande. Prüfen Sie die Gegenstelle und "
               "wählen Sie erneut.";
    case IDS_NM_REASON + 7:
    case IDS_NM_REASON + 8:
        return "Der Dienst der Verbindung konnte nicht gestartet werden. Prüfen Sie, ob er "
               "installiert ist.";
    case IDS_NM_REASON + 9:
        return "Es fehlt ein Kennwort für die Verbindung. Tragen Sie es in den Einstellungen der "
               "Verbindung ein.";
    case IDS_NM_REASON + 10:
        return "Die Anmeldung bei der Gegenstelle ist fehlgeschlagen. Prüfen Sie Benutzername "
               "und Kennwort.";
    case IDS_NM_REASON + 11:
        return "Die Verbindung wurde während des Wählens gelöscht.";
    case IDS_NM_REASON + 12:
        return "Die Verbindung hängt von einer anderen ab, die fehlgeschlagen ist. Bauen Sie "
               "diese zuerst auf.";
    case IDS_NM_REASON + 13:
    case IDS_NM_REASON + 14:
        return "Das Gerät der Verbindung ist nicht verfügbar. Prüfen Sie, ob es angeschlossen "
               "ist.";
    case IDS_PPPD_EXIT + 1:
        return "pppd ist mit einem schweren Fehler abgebrochen.";
    case IDS_PPPD_EXIT + 2:
        return "Die pppd-Einstellungen dieser Verbindung sind fehlerhaft.";
    case IDS_PPPD_EXIT + 3:
        return "pppd hat nicht die nötigen Rechte.";
    case IDS_PPPD_EXIT + 4:
        return "Der Kernel unterstützt kein PPP.";
    case IDS_PPPD_EXIT + 5:
        return "pppd wurde durch ein Signal beendet.";
    case IDS_PPPD_EXIT + 6:
        return "Der serielle Port ist von einem anderen Programm belegt.";
    case IDS_PPPD_EXIT + 7:
        return "Der serielle Port kann nicht geöffnet werden.";
    case IDS_PPPD_EXIT + 8:
        return "Das Verbindungsskript ist fehlgeschlagen.";
    case IDS_PPPD_EXIT + 9:
        return "Das Programm für die pty-Verbindung kann nicht gestartet werden.";
    case IDS_PPPD_EXIT + 10:
        return "Die PPP-Aushandlung ist fehlgeschlagen.";
    case IDS_PPPD_EXIT + 11:
        return "Die Gegenstelle hat sich nicht ausgewiesen.";
    case IDS_PPPD_EXIT + 12:
        return "Die Verbindung wurde wegen Leerlaufs beendet.";
    case IDS_PPPD_EXIT + 13:
        return "Die Verbindung wurde nach Ablauf der erlaubten Zeit beendet.";
    case IDS_PPPD_EXIT + 14:
        return "Rückruf vereinbart: Die Gegenstelle ruft zurück.";
    case IDS_PPPD_EXIT + 15:
        return "Die Gegenstelle antwortet nicht mehr.";
    case IDS_PPPD_EXIT + 16:
        return "Das Modem hat aufgelegt.";
    case IDS_PPPD_EXIT + 17:
        return "Auf der Leitung wurde eine Schleife erkannt.";
    case IDS_PPPD_EXIT + 18:
        return "Das Initialisierungsskript ist fehlgeschlagen.";
    case IDS_PPPD_EXIT + 19:
        return "Die Anmeldung bei der Gegenstelle ist fehlgeschlagen.";
    case IDS_PPPD_EXIT_OTHER:
        return "pppd wurde mit Status %1 beendet.";
    case IDS_PPPD_BAD_NAME:
        return "Der Name „%1“ ist für pppd nicht zulässig.";
    case IDS_PPPD_NO_PEER:
        return "Zu „%1“ gibt es keine Datei in %2.";
    case IDS_PPPD_NOT_STARTED:
        return "pppd kann nicht gestartet werden.";
    case IDS_PPPD_NO_DEVICE:
        return "Den Anschluss %1 gibt es nicht. Prüfen Sie, ob der Adapter des "
               "Laser-Transceivers eingesteckt ist.";
    case IDS_PPPD_CRASHED:
        return "pppd ist abgestürzt.";
    case IDS_SIM_NO_ENTRY:
        return "Die DFÜ-Verbindung „%1“ gibt es nicht.";
    case IDS_SIM_NO_ANSWER:
        return "Die Gegenstelle antwortet nicht.";
    case IDS_PORT_REFUSED_OTHER:
        return "%1 ist nicht verfügbar";
    case IDS_PORT_REFUSED_NOT_MAPPED:
        return "Diesem Anschluss ist kein Gerät zugeordnet";
    case IDS_PORT_REFUSED_ABSENT:
        return "Das Gerät %1 gibt es nicht – ist der Adapter eingesteckt?";
    case IDS_PORT_REFUSED_BUSY:
        return "%1 wird von einem anderen Programm benutzt";
    case IDS_PORT_REFUSED_BUSY_PID:
        return "%1 wird von Prozess %2 benutzt";
    case IDS_PORT_REFUSED_BUSY_PROCESS:
        return "%1 wird von Prozess %2 (%3) benutzt";
    case IDS_PORT_REFUSED_NOT_PERMITTED:
        return "Keine Berechtigung für %1";
    case IDS_PORT_REFUSED_NOT_PERMITTED_GROUP:
        return "Keine Berechtigung für %1 – gehört Ihr Konto zur Gruppe „%2“?";
    case IDS_PORT_REFUSED_CONSOLE:
        return "%1 ist die Konsole des Systems und wird nie geöffnet";
    case IDS_PORT_REFUSED_NOT_SERIAL:
        return "%1 ist keine serielle Schnittstelle";
    case IDS_PORT_REFUSED_LOCK_NOT_FILE:
        return "Sperrdatei %1 ist keine Datei";
    }
    return {};
}

std::string FormatResourceString(int id, std::initializer_list<std::string_view> args) {
    return FormatString(LoadResourceString(id), args);
}

std::string FormatString(std::string_view text, std::initializer_list<std::string_view> args) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char next = i + 1 < text.size() ? text[i + 1] : '\0';
        if (text[i] == '%' && next >= '1' && next - '1' < static_cast<int>(args.size())) {
            out += args.begin()[next - '1'];
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}
