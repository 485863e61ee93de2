#include "res/resource.h"
#include "res/resources.h"

std::string LoadResourceString(int id) {
    switch (id) {
    case IDS_ABOUT_MENU:
        return "Inf&o über Quillmere...";
    case IDS_PORTS_MENU:
        return "&Anschlüsse...";
    case IDS_PORT_NO_DEVICE:
        return "kein Gerät";
    case IDS_PORT_NOT_CONNECTED:
        return "%1 (nicht angeschlossen)";
    case IDS_PORT_DEFAULT:
        return "Standard: %1";
    case IDS_NM_NO_ANSWER:
        return "Der NetworkManager gibt keine Auskunft.";
    case IDS_NM_UNKNOWN_CONNECTION:
        return "Der NetworkManager kennt keine Verbindung \"%1\".";
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
    case IDS_NM_REASON + 2:
        return "Die Verbindung wurde an diesem Rechner getrennt. Wählen Sie erneut, wenn sie "
               "bestehen soll.";
    case IDS_NM_REASON + 3:
        return "Das Gerät der Verbindung wurde getrennt. Prüfen Sie, ob der Laser-Transceiver "
               "angeschlossen und eingeschaltet ist.";
    case IDS_NM_REASON + 4:
        return "Der Dienst der Verbindung wurde beendet. Wählen Sie erneut.";
    case IDS_NM_REASON + 5:
        return "Die Verbindung hat keine gültige IP-Konfiguration erhalten. Prüfen Sie ihre "
               "IP-Einstellungen.";
    case IDS_NM_REASON + 6:
        return "Die Verbindung kam nicht rechtzeitig zustande. Prüfen Sie die Gegenstelle und "
               "wählen Sie erneut.";
    case IDS_NM_REASON + 7:
    case IDS_NM_REASON + 8:
        return "Der Dienst der Verbindung konnte nicht gestartet werden. Prüfen Sie, ob er "
               "installiert ist.";
    case IDS_NM_REASON + 9:
        return "Es fehlt ein Kennwort für die Verbindung. Tragen Sie es in ihren Einstellungen "
               "ein.";
    case IDS_NM_REASON + 10:
        return "Die Anmeldung bei der Gegenstelle ist fehlgeschlagen. Prüfen Sie Benutzername "
               "und Kennwort.";
    case IDS_NM_REASON + 11:
        return "Die Verbindung wurde während des Wählens gelöscht.";
    case IDS_NM_REASON + 12:
        return "Eine Verbindung, von der sie abhängt, ist fehlgeschlagen. Bauen Sie diese "
               "zuerst auf.";
    case IDS_NM_REASON + 13:
    case IDS_NM_REASON + 14:
        return "Das Gerät der Verbindung ist nicht verfügbar. Prüfen Sie, ob es angeschlossen "
               "ist.";
    }
    return {};
}
