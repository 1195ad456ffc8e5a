#pragma once
// The message catalogue: one row per error class, English and German side by
// side, sorted by class (the lookup searches it binary). A class that is not
// listed gets the default message. Texts are UTF-8; "\n" breaks a line on screen.
//
// To add a class: insert its row at the place of its number. The checks at the
// end of this file refuse an unsorted table at compile time, and the message
// buffer's check in OLQ_errorV3.cpp refuses a text that would not fit.
#include <cstddef>
#include <string_view>

struct FehlerEintrag {
  int klasse;
  const char* englisch;
  const char* deutsch;
};

inline constexpr FehlerEintrag kFehlerStandard = {
    -1, "A unknown error occured", "Ein unbekannter Fehler ist aufgetreten"};

// clang-format off
inline constexpr FehlerEintrag kFehlerKatalog[] = {
  // General
  {0,    "No error",                   "Es ist kein Fehler aufgetreten"},
  {2,    "A error occured",            "Ein Fehler ist aufgetreten"},
  {3,    "Timeout reached",            "Timeout erreicht"},
  {4,    "Aborted by user",            "Abbruch durch Benutzer"},
  {5,    "Time/date function failed",  "Datum/Zeit Funktion fehlgeschlagen"},
  {6,    "",                           ""},
  {7,    "Unexpected error",           "Ein unerwarteter Fehler ist aufgetreten"},
  {8,    "Unable to set timer",        "Timer konnte nicht angesprochen werden"},
  {9,    "",                           ""},

  // Serial interface and serial devices
  {100,  "Error opening com-port",
         "Fehler beim öffnen der seriellen Schnittstelle"},
  {101,  "Error writing to COM Port",
         "Fehler beim schreiben auf die serielle Schnittstelle"},
  {102,  "Error reading from COM Port",
         "Fehler beim Lesen von der seriellen Schnittstelle"},
  {103,  "Error closing com-port",
         "Fehler beim schliesen der seriellen Schnittstelle"},
  {110,  "Invalid com-port number",
         "Unzulässige Nummer der seriellen Schnittstelle"},
  {111,  "Unable to set com-port timeout",
         "Konnte kein Timeout für die serielle Schnittstelle setzten"},
  {112,  "Error flushing read- or writebuffer for com-port",
         "Fehler beim Leeren des Schreib- oder Leesepuffers der seriellen Schnittstelle"},
  {113,  "The string to be sent to a com-port ist too long",
         "Die an die serielle Schnittstelle zu sendende Zeichenkette ist zu lang"},
  {114,  "Was not able to write any or all characters to a com-port",
         "Keine oder nicht alle Zeichen konnten auf die serielle Schnittstelle geschrieben werden"},
  {116,  "No or unexpected answer form serial device",
         "Keine oder unerwartete Antwort vom seriellen Gerät"},
  {117,  "The echo of a command that was sent back from a serial device was not equivalent to the original command",
         "Das vom seriellen Gerät zurückgesendete Echo eines Befehls stimmt nicht mit dem ursprünglichen Befehl überein"},
  {118,  "A serial device did not commit a command properly",
         "Ein serielles Gerät hat einen Befehl nicht ordnungsgemäß bestätigt"},
  {119,  "A serial device reported a error executing a command",
         "Ein serielles Gerät hat einen Fehler bei der Ausführung eines Befehls gemeldet"},
  {120,  "The string that was wrote back from a serial device does not have the expected format",
         "Die von einem seriellen Gerät zurückgesendete Zeichenkette hat nicht das erwartete Format"},
  {122,  "COM-port not open",
         "Serielle Schnittstelle ist nicht geöffnet"},
  {123,  "Error flushing writebuffer of com-port",
         "Fehler beim Leeren des Schreibpuffers der seriellen Schnittstelle"},
  {124,  "Error flushing readbuffer of com-port",
         "Fehler beim Leeren des Lesepuffers der seriellen Schnittstelle"},
  {125,  "Invalid Baudrate",
         "Unzulässige Baudrate"},
  {126,  "Serial device reports execution of command not possible",
         "Das serielle Gerät meldet, dass der Befehl nicht ausgeführt werden kann"},
  {127,  "Connection to the serial device lost (port hung up)",
         "Verbindung zum seriellen Gerät unterbrochen (Schnittstelle getrennt)"},

  // Value processing
  {200,  "Error computing voltage value",  "Fehler beim Berechnen des Spannungswertes"},
  {201,  "Error computing current value",  "Fehler beim Berechnen des Stromwertes"},
  {202,  "Error formating values",         "Fehler beim Formatieren der Werte"},

  // Files and directories
  {300,  "File not found",                 "Datei nicht gefunden"},
  {301,  "Error writing to file",          "Fehler beim Schreiben auf Datei"},
  {302,  "Wrong filetype",                 "Die Datei ist nicht vom richtigen Typ"},
  {303,  "Wrong fileversion",              "Die Datei hat die falsche Versionsnummer"},
  {304,  "Error reading from file",        "Fehler beim Lesen der Datei"},
  {305,  "Unable to access file",          "Auf die Datei kann nicht zugegriffen werden"},
  {306,  "Unable to delete file",          "Die Datei konnte nicht gelöscht werden"},
  {307,  "Error making filepath",          "Fehler beim Erstellen des Dateipfades"},
  {308,  "Error opening file",             "Fehler beim Öffnen der Datei"},
  {310,  "Error making new directory",     "Fehler beim Anlegen des neuen Verzeichnisses"},
  {311,  "File can not be edited",         "Die Datei kann nicht bearbeitet werden"},
  {312,  "Data read from a File does not have the expected format",
         "Die aus der Datei gelesenen Daten haben nicht das erwartete Format"},
  {315,  "Unable to get workingdirectory", "Das Arbeitsverzeichnis konnte nicht ermittelt werden"},
  {316,  "Directory not found",            "Verzeichnis nicht gefunden"},
  {317,  "Error calling the fileselect window", "Fehler beim Aufrufen des Dateiauswahlfensters"},
  {318,  "File contains a invalid character.",  "Die Datei enthält ein unzulässiges Zeichen."},
  {319,  "File contains a line which is too long.", "Die Datei enthält eine zu lange Zeile."},
  {320,  "The file contains too much values.",  "Die Datei enthält zu viele Werte."},
  {321,  "File contains no values.",            "Die Datei enthält keine Werte."},
  {322,  "File is damaged.",                    "Die Datei ist beschädigt."},
  {323,  "Could not rename file.",              "Die Datei konnte nicht umbenannt werden."},
  {324,  "File already exists.",                "Die Datei existiert bereits."},
  {325,  "could not change fileattribute.",     "Das Dateiattribut konnte nicht geändert werden."},

  // Pressure and vacuum regulation
  {350,  "Timeout:\nPressure could not be generated.", "Timeout:\nDer Druck konnte nicht aufgebaut werden."},
  {351,  "Timeout:\nPreassure did not stabilize.",     "Timeout:\nDer Druck hat sich nicht stabilisiert."},
  {352,  "Timeout:\nVacuum did not stabilize.",        "Timeout:\nDas Vakuum hat sich nicht stabilisiert."},
  {353,  "Timeout:\nPressure could not be deflated.",  "Timeout:\nDer Druck konnte nicht abgebaut werden."},
  {354,  "Timeout:\nVakuum could not be generated.",   "Timeout:\nDas Vakuum konnte nicht aufgebaut werden."},
  {355,  "Timeout:\nVakuum could not be deflated.",    "Timeout:\nDas Vakuum konnte nicht abgebaut werden."},
  {358,  "Timeout:\nPressure did not equalize.",       "Timeout:\nDer Druck hat sich nicht ausgeglichen."},
  {359,  "Pressure already too high at beginning of meassurement.",
         "Der Druck ist bereits zu Beginn der Messung zu hoch."},
  {360,  "Vakuum already too high at beginning of meassurement.",
         "Das Vakuum ist bereits zu Beginn der Messung zu hoch."},
  {361,  "Pressure already too low at beginning of meassurement.",
         "Der Druck ist bereits zu Beginn der Messung zu niedrig."},
  {362,  "Vakuum already too low at beginning of meassurement.",
         "Das Vakuum ist bereits zu Beginn der Messung zu niedrig."},
  {363,  "Timeout:\nCould not adjust preassure.",      "Timeout:\nDer Druck konnte nicht eingestellt werden."},

  // Water level
  {380,  "Water has reached maximum level",     "Das Wasser hat den Höchststand erreicht"},
  {381,  "Water has reached minimum level",     "Das Wasser hat den Mindeststand erreicht"},
  {382,  "Watertank has reached minimum level", "Der Wassertank hat den Mindeststand erreicht"},

  // Device protocol
  {400,  "invalid deviceaddress",                   "Unzulässige Geräteadresse"},
  {401,  "invalid parameter",                       "Unzulässiger Parameter"},
  {402,  "Errormessage (NAK) received from device", "Fehlermeldung (NAK) vom Gerät erhalten"},
  {403,  "No answer from device",                   "Keine Antwort vom Gerät"},
  {404,  "Wrong answer from device",                "Fehlerhafte Antwort vom Gerät"},
  {405,  "Command not possible at the moment (CAN received)",
         "Befehlsausführung momentan nicht möglich (CAN erhalten)"},
  {406,  "Checksumm error at transmission",         "Prüfsummenfehler bei der Übertragung"},
  {407,  "Readcommands are not possible with common adress",
         "Lesebefehle sind mit der Sammeladresse nicht möglich"},
  {408,  "Checksumm missing",                       "Prüfsumme fehlt"},
  {409,  "Device reports error in parameter",       "Gerät meldet Parameterfehler"},
  {410,  "Answers out of step with the commands (a late or doubled answer)",
         "Antworten nicht im Takt der Befehle (verspätete oder doppelte Antwort)"},

  // Parameters and values
  {500,  "Parameter out of limits",         "Parameter außerhalb der Grenzwerte"},
  {503,  "Missing values",                  "Fehlende Werte"},
  {504,  "Wrong parameter",                 "Falscher Parameter"},
  {505,  "Data not correct",                "Die Daten sind nicht korrekt"},
  {506,  "No negative values are allowed.", "Negative Werte sind nicht zulässig."},
  {507,  "Value too big.",                  "Wert zu groß."},
  {508,  "Value too small.",                "Wert zu klein."},
  {509,  "Value out of tolerance.",         "Wert außerhalb der Toleranz."},

  // Test sequence
  {550,  "Invalid sequence",                "Unzulässige Prüfsequenz"},

  // Memory
  {600,  "Error allocating memory",         "Fehler beim Reservieren von Speicher"},

  // User-interface objects
  {651,  "Could not create panel",          "Das Fenster konnte nicht erzeugt werden"},
  {652,  "Could not create control",        "Das Bedienelement konnte nicht erzeugt werden"},

  // Measurement
  {700,  "Timeout:\nUnable to read meassurement input",
         "Timeout:\nDer Messeingang konnte nicht gelesen werden"},
  {701,  "Meassurements could not be processed fast enough",
         "Die Messwerte konnten nicht schnell genug verarbeitet werden"},
  {702,  "Could not read measurement-channel",        "Der Messkanal konnte nicht gelesen werden"},
  {703,  "Temperaturesensor broken or not connected", "Temperatursensor defekt oder nicht angeschlossen"},
  {704,  "Pressuresensor broken or not connected",    "Drucksensor defekt oder nicht angeschlossen"},
  {705,  "Could not start measurement scan",          "Der Messdurchlauf konnte nicht gestartet werden"},
  {706,  "Could not stop measurement scan",           "Der Messdurchlauf konnte nicht gestoppt werden"},

  // Digital ports and relays
  {760,  "Could not set digital output",     "Der digitale Ausgang konnte nicht gesetzt werden"},
  {763,  "Unable to read relayposition",     "Die Relaisstellung konnte nicht gelesen werden"},
  {764,  "Unable to set relay position",     "Die Relaisstellung konnte nicht gesetzt werden"},
  {765,  "Could not read digital input",     "Der digitale Eingang konnte nicht gelesen werden"},
  {766,  "Could not configure digital port", "Der digitale Port konnte nicht konfiguriert werden"},

  // Devices and cards
  {780,  "Device not found",                  "Gerät nicht gefunden"},
  {783,  "KLV module reports memoryerror",    "Das KLV-Modul meldet einen Speicherfehler"},
  {784,  "KLV module not found.",             "KLV-Modul nicht gefunden."},
  {785,  "Device of wrong type was found.",   "Es wurde ein Gerät vom falschen Typ gefunden."},
  {786,  "The emergency switch is pressed.",  "Der Notausschalter ist gedrückt."},

  // INI file
  {800,  "Error writing to INI-File",   "Fehler beim schreiben in die INI-Datei"},
  {801,  "Error reading from INI-File", "Fehler beim lesen der INI-Datei"},
  {802,  "INI-File not found",          "INI-Datei nicht gefunden"},
  {803,  "INI-File is damaged",         "Die INI-Datei ist beschädigt"},
  {805,  "Name of testdevice in ini-file is invalid",
         "Der Name des Prüfgeräts in der INI-Datei ist ungültig"},

  // Database
  {850,  "Database connection failed",         "Die Verbindung zur Datenbank ist fehlgeschlagen"},
  {851,  "Error making map for databasetable", "Fehler beim Erstellen der Zuordnung für die Datenbanktabelle"},
  {852,  "Opening databasetable failed",       "Das Öffnen der Datenbanktabelle ist fehlgeschlagen"},
  {853,  "Error making databasetable",         "Fehler beim Erstellen der Datenbanktabelle"},
  {854,  "Error altering databasetable",       "Fehler beim Ändern der Datenbanktabelle"},
  {855,  "Error writing to databasetable",     "Fehler beim Schreiben in die Datenbanktabelle"},

  // Data acquisition
  {880,  "Unable to create DAQ-Task",          "Der DAQ-Task konnte nicht erzeugt werden"},

  // Memory areas
  {894,  "Invalid startingadress.",            "Unzulässige Startadresse."},
  {895,  "Invalid memorysize.",                "Unzulässige Speichergröße."},
  {896,  "Invalid memorytype.",                "Unzulässiger Speichertyp."},
  {897,  "Checksummerror in EEPROM memory.",   "Prüfsummenfehler im EEPROM-Speicher."},
  {898,  "Invalid memoryarea.",                "Unzulässiger Speicherbereich."},

  // Test steps, order files, weighing, ambient values, valves
  {1000, "For this teststep limit-comparition has to be >&<.\nPlease edit it in the sequenceeditor.",
         "Für diesen Prüfschritt muss der Grenzwertvergleich >&< sein.\nBitte im Sequenzeditor ändern."},
  {1001, "Could not find lotamount in the datafile.",
         "Die Losgröße wurde in der Datendatei nicht gefunden."},
  {1002, "The current amount of teststeps is not equivalent to the\namount of teststeps in the data-file for this BA-Nr.\nThe BA-File was probably createt with\n a different sequence.",
         "Die aktuelle Anzahl der Prüfschritte stimmt nicht mit der\nAnzahl der Prüfschritte in der Datendatei für diese BA-Nr. überein.\nDie BA-Datei wurde vermutlich mit\n einer anderen Sequenz erstellt."},
  {1003, "The name of a teststep is not equivaltent to the corosponding\nname listed in the data-file for this BA-Nr.\nThe BA-File was probably createt with\n a different sequence.",
         "Der Name eines Prüfschritts stimmt nicht mit dem entsprechenden\nNamen in der Datendatei für diese BA-Nr. überein.\nDie BA-Datei wurde vermutlich mit\n einer anderen Sequenz erstellt."},
  {1004, "Wrong or missing entry for lotamount.\nValid range for serialnumbers not clear.",
         "Falscher oder fehlender Eintrag für die Losgröße.\nGültiger Bereich der Seriennummern unklar."},
  {1005, "The combination of existing serialnumbers\nand lotamount is invalid.\nValid range for serialnumbers not clear.",
         "Die Kombination aus vorhandenen Seriennummern\nund Losgröße ist ungültig.\nGültiger Bereich der Seriennummern unklar."},
  {1007, "Could not read the file with pressure\nand temperature information.",
         "Die Datei mit den Druck-\nund Temperaturinformationen konnte nicht gelesen werden."},
  {1008, "Pressure- and temperatureinformations\nare too old.",
         "Die Druck- und Temperaturinformationen\nsind zu alt."},
  {1010, "invalid timebase.",                       "Unzulässige Zeitbasis."},
  {1011, "The graph consists of to many datapoints.", "Der Graph besteht aus zu vielen Datenpunkten."},
  {1012, "Pressure already too high at beginning of meassurement.",
         "Der Druck ist bereits zu Beginn der Messung zu hoch."},
  {1013, "Vakuum already too high at beginning of meassurement.",
         "Das Vakuum ist bereits zu Beginn der Messung zu hoch."},
  {1014, "Weight in overload range",                "Gewicht im Überlastbereich"},
  {1015, "Weight in underload range",               "Gewicht im Unterlastbereich"},
  {1016, "Unknown weight unit",                     "Unbekannte Gewichtseinheit"},
  {1017, "File is no ZPK-1 curvefile.",             "Die Datei ist keine ZPK-1 Kurvendatei."},
  {1018, "Could not read the file with pressureinformation.",
         "Die Datei mit den Druckinformationen konnte nicht gelesen werden."},
  {1019, "Protocol-File not found.",                "Protokolldatei nicht gefunden."},
  {1020, "Temporary File already exists.",          "Die temporäre Datei existiert bereits."},
  {1021, "Preassure invalid.",                      "Druck ungültig."},
  {1022, "Temperature invalid.",                    "Temperatur ungültig."},
  {1023, "Preassure missing.",                      "Druck fehlt."},
  {1024, "No value available for current.",         "Kein Wert für den Strom vorhanden."},
  {1025, "Valves not configured.\nAdd VPKonfig so sequence.",
         "Ventile nicht konfiguriert.\nVPKonfig zur Sequenz hinzufügen."},
  {1026, "Unknown valve status.",                   "Unbekannter Ventilstatus."},
  {1027, "Could not compute triggersignal.",        "Das Triggersignal konnte nicht berechnet werden."},
  {1028, "Internal Voltage is missing.",            "Die interne Spannung fehlt."},
  {1029, "Ambient preassure test missing.",         "Die Prüfung des Umgebungsdrucks fehlt."},
  {1030, "Ambient temperature test missing.",       "Die Prüfung der Umgebungstemperatur fehlt."},
  {1031, "To test flow without load use the freeflow test.",
         "Um den Durchfluss ohne Last zu prüfen, den Freiflusstest verwenden."},
  {1032, "Emergency switch is on",                  "Der Notausschalter ist gedrückt"},
};
// clang-format on

// Longest text of the catalogue and of the default message, in bytes.
constexpr std::size_t FehlerKatalogLaengsterText() {
  std::size_t laengster = 0;
  auto pruefe = [&laengster](const FehlerEintrag& e) {
    for (const char* t : {e.englisch, e.deutsch}) {
      if (std::string_view(t).size() > laengster) laengster = std::string_view(t).size();
    }
  };
  pruefe(kFehlerStandard);
  for (const FehlerEintrag& e : kFehlerKatalog) pruefe(e);
  return laengster;
}

// Binary search needs strictly ascending classes; a negative class could never
// be looked up (negative classes always get the default message).
constexpr bool FehlerKatalogGeordnet() {
  for (std::size_t i = 0; i < std::size(kFehlerKatalog); ++i) {
    if (kFehlerKatalog[i].klasse < 0) return false;
    if (i > 0 && kFehlerKatalog[i - 1].klasse >= kFehlerKatalog[i].klasse) return false;
  }
  return true;
}
static_assert(FehlerKatalogGeordnet(), "catalogue rows must be sorted by class, each class once");
