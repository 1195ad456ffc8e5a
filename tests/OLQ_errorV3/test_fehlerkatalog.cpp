// Message catalogue: texts, class arithmetic, language and the one-shot text.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <set>
#include <string>

#include "OLQ_errorV3/OLQ_errorV3.h"

namespace {

struct Text {
  int klasse;
  const char* text;
};

// Every class with its English text, as the operator must see it.
const Text kEnglisch[] = {
  {0, "No error"},
  {2, "A error occured"},
  {3, "Timeout reached"},
  {4, "Aborted by user"},
  {5, "Time/date function failed"},
  {6, ""},
  {7, "Unexpected error"},
  {8, "Unable to set timer"},
  {9, ""},
  {100, "Error opening com-port"},
  {101, "Error writing to COM Port"},
  {102, "Error reading from COM Port"},
  {103, "Error closing com-port"},
  {110, "Invalid com-port number"},
  {111, "Unable to set com-port timeout"},
  {112, "Error flushing read- or writebuffer for com-port"},
  {113, "The string to be sent to a com-port ist too long"},
  {114, "Was not able to write any or all characters to a com-port"},
  {116, "No or unexpected answer form serial device"},
  {117, "The echo of a command that was sent back from a serial device was not equivalent to the original command"},
  {118, "A serial device did not commit a command properly"},
  {119, "A serial device reported a error executing a command"},
  {120, "The string that was wrote back from a serial device does not have the expected format"},
  {122, "COM-port not open"},
  {123, "Error flushing writebuffer of com-port"},
  {124, "Error flushing readbuffer of com-port"},
  {125, "Invalid Baudrate"},
  {126, "Serial device reports execution of command not possible"},
  {127, "Connection to the serial device lost (port hung up)"},
  {200, "Error computing voltage value"},
  {201, "Error computing current value"},
  {202, "Error formating values"},
  {300, "File not found"},
  {301, "Error writing to file"},
  {302, "Wrong filetype"},
  {303, "Wrong fileversion"},
  {304, "Error reading from file"},
  {305, "Unable to access file"},
  {306, "Unable to delete file"},
  {307, "Error making filepath"},
  {308, "Error opening file"},
  {310, "Error making new directory"},
  {311, "File can not be edited"},
  {312, "Data read from a File does not have the expected format"},
  {315, "Unable to get workingdirectory"},
  {316, "Directory not found"},
  {317, "Error calling the fileselect window"},
  {318, "File contains a invalid character."},
  {319, "File contains a line which is too long."},
  {320, "The file contains too much values."},
  {321, "File contains no values."},
  {322, "File is damaged."},
  {323, "Could not rename file."},
  {324, "File already exists."},
  {325, "could not change fileattribute."},
  {350, "Timeout:\nPressure could not be generated."},
  {351, "Timeout:\nPreassure did not stabilize."},
  {352, "Timeout:\nVacuum did not stabilize."},
  {353, "Timeout:\nPressure could not be deflated."},
  {354, "Timeout:\nVakuum could not be generated."},
  {355, "Timeout:\nVakuum could not be deflated."},
  {358, "Timeout:\nPressure did not equalize."},
  {359, "Pressure already too high at beginning of meassurement."},
  {360, "Vakuum already too high at beginning of meassurement."},
  {361, "Pressure already too low at beginning of meassurement."},
  {362, "Vakuum already too low at beginning of meassurement."},
  {363, "Timeout:\nCould not adjust preassure."},
  {380, "Water has reached maximum level"},
  {381, "Water has reached minimum level"},
  {382, "Watertank has reached minimum level"},
  {400, "invalid deviceaddress"},
  {401, "invalid parameter"},
  {402, "Errormessage (NAK) received from device"},
  {403, "No answer from device"},
  {404, "Wrong answer from device"},
  {405, "Command not possible at the moment (CAN received)"},
  {406, "Checksumm error at transmission"},
  {407, "Readcommands are not possible with common adress"},
  {408, "Checksumm missing"},
  {409, "Device reports error in parameter"},
  {410, "Answers out of step with the commands (a late or doubled answer)"},
  {500, "Parameter out of limits"},
  {503, "Missing values"},
  {504, "Wrong parameter"},
  {505, "Data not correct"},
  {506, "No negative values are allowed."},
  {507, "Value too big."},
  {508, "Value too small."},
  {509, "Value out of tolerance."},
  {550, "Invalid sequence"},
  {600, "Error allocating memory"},
  {651, "Could not create panel"},
  {652, "Could not create control"},
  {700, "Timeout:\nUnable to read meassurement input"},
  {701, "Meassurements could not be processed fast enough"},
  {702, "Could not read measurement-channel"},
  {703, "Temperaturesensor broken or not connected"},
  {704, "Pressuresensor broken or not connected"},
  {705, "Could not start measurement scan"},
  {706, "Could not stop measurement scan"},
  {760, "Could not set digital output"},
  {763, "Unable to read relayposition"},
  {764, "Unable to set relay position"},
  {765, "Could not read digital input"},
  {766, "Could not configure digital port"},
  {780, "Device not found"},
  {783, "KLV module reports memoryerror"},
  {784, "KLV module not found."},
  {785, "Device of wrong type was found."},
  {786, "The emergency switch is pressed."},
  {800, "Error writing to INI-File"},
  {801, "Error reading from INI-File"},
  {802, "INI-File not found"},
  {803, "INI-File is damaged"},
  {805, "Name of testdevice in ini-file is invalid"},
  {850, "Database connection failed"},
  {851, "Error making map for databasetable"},
  {852, "Opening databasetable failed"},
  {853, "Error making databasetable"},
  {854, "Error altering databasetable"},
  {855, "Error writing to databasetable"},
  {880, "Unable to create DAQ-Task"},
  {894, "Invalid startingadress."},
  {895, "Invalid memorysize."},
  {896, "Invalid memorytype."},
  {897, "Checksummerror in EEPROM memory."},
  {898, "Invalid memoryarea."},
  {1000, "For this teststep limit-comparition has to be >&<.\nPlease edit it in the sequenceeditor."},
  {1001, "Could not find lotamount in the datafile."},
  {1002, "The current amount of teststeps is not equivalent to the\namount of teststeps in the data-file for this BA-Nr.\nThe BA-File was probably createt with\n a different sequence."},
  {1003, "The name of a teststep is not equivaltent to the corosponding\nname listed in the data-file for this BA-Nr.\nThe BA-File was probably createt with\n a different sequence."},
  {1004, "Wrong or missing entry for lotamount.\nValid range for serialnumbers not clear."},
  {1005, "The combination of existing serialnumbers\nand lotamount is invalid.\nValid range for serialnumbers not clear."},
  {1007, "Could not read the file with pressure\nand temperature information."},
  {1008, "Pressure- and temperatureinformations\nare too old."},
  {1010, "invalid timebase."},
  {1011, "The graph consists of to many datapoints."},
  {1012, "Pressure already too high at beginning of meassurement."},
  {1013, "Vakuum already too high at beginning of meassurement."},
  {1014, "Weight in overload range"},
  {1015, "Weight in underload range"},
  {1016, "Unknown weight unit"},
  {1017, "File is no ZPK-1 curvefile."},
  {1018, "Could not read the file with pressureinformation."},
  {1019, "Protocol-File not found."},
  {1020, "Temporary File already exists."},
  {1021, "Preassure invalid."},
  {1022, "Temperature invalid."},
  {1023, "Preassure missing."},
  {1024, "No value available for current."},
  {1025, "Valves not configured.\nAdd VPKonfig so sequence."},
  {1026, "Unknown valve status."},
  {1027, "Could not compute triggersignal."},
  {1028, "Internal Voltage is missing."},
  {1029, "Ambient preassure test missing."},
  {1030, "Ambient temperature test missing."},
  {1031, "To test flow without load use the freeflow test."},
  {1032, "Emergency switch is on"},
};

// The German texts that are fixed (all others are free wording).
const Text kDeutsch[] = {
  {0, "Es ist kein Fehler aufgetreten"},
  {2, "Ein Fehler ist aufgetreten"},
  {3, "Timeout erreicht"},
  {4, "Abbruch durch Benutzer"},
  {5, "Datum/Zeit Funktion fehlgeschlagen"},
  {6, ""},
  {7, "Ein unerwarteter Fehler ist aufgetreten"},
  {8, "Timer konnte nicht angesprochen werden"},
  {9, ""},
  {100, "Fehler beim öffnen der seriellen Schnittstelle"},
  {101, "Fehler beim schreiben auf die serielle Schnittstelle"},
  {103, "Fehler beim schliesen der seriellen Schnittstelle"},
  {111, "Konnte kein Timeout für die serielle Schnittstelle setzten"},
  {112, "Fehler beim Leeren des Schreib- oder Leesepuffers der seriellen Schnittstelle"},
  {114, "Keine oder nicht alle Zeichen konnten auf die serielle Schnittstelle geschrieben werden"},
  {122, "Serielle Schnittstelle ist nicht geöffnet"},
  {123, "Fehler beim Leeren des Schreibpuffers der seriellen Schnittstelle"},
  {124, "Fehler beim Leeren des Lesepuffers der seriellen Schnittstelle"},
  {125, "Unzulässige Baudrate"},
  {301, "Fehler beim Schreiben auf Datei"},
  {302, "Die Datei ist nicht vom richtigen Typ"},
  {303, "Die Datei hat die falsche Versionsnummer"},
  {304, "Fehler beim Lesen der Datei"},
  {308, "Fehler beim Öffnen der Datei"},
  {400, "Unzulässige Geräteadresse"},
  {401, "Unzulässiger Parameter"},
  {402, "Fehlermeldung (NAK) vom Gerät erhalten"},
  {403, "Keine Antwort vom Gerät"},
  {404, "Fehlerhafte Antwort vom Gerät"},
  {405, "Befehlsausführung momentan nicht möglich (CAN erhalten)"},
  {409, "Gerät meldet Parameterfehler"},
  {500, "Parameter außerhalb der Grenzwerte"},
  {800, "Fehler beim schreiben in die INI-Datei"},
  {801, "Fehler beim lesen der INI-Datei"},
  {802, "INI-Datei nicht gefunden"},
  {1017, "Die Datei ist keine ZPK-1 Kurvendatei."},
  {1032, "Der Notausschalter ist gedrückt"},
};

const char* const kStandardEn = "A unknown error occured";
const char* const kStandardDe = "Ein unbekannter Fehler ist aufgetreten";

ErrorCode Code(int klasse, int stelle) { return -(klasse * 1000 + stelle); }

std::string Meldung(int sprache, ErrorCode code) {
  OLQ_Fehlersprache(sprache);
  return OLQ_Fehlermeldung(code);
}

bool GueltigesUtf8(const std::string& s) {
  for (std::size_t i = 0; i < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    const std::size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > s.size()) return false;
    for (std::size_t k = 1; k < n; ++k) {
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    }
    i += n;
  }
  return true;
}

int Zeilenumbrueche(const std::string& s) {
  int n = 0;
  for (char c : s) n += c == '\n';
  return n;
}

}  // namespace

// Must stay the first test: it sees the state before anything was set.
TEST(Fehlerkatalog, StartsInGermanWithoutOneShotText) {
  EXPECT_EQ(OLQ_FehlerspracheLesen(), 1);
  EXPECT_STREQ(OLQ_Fehlermeldung(-302106), "Die Datei ist nicht vom richtigen Typ");
}

TEST(Fehlerkatalog, EveryEnglishTextForAnySite) {
  for (const Text& t : kEnglisch) {
    for (int stelle : {0, 1, 500, 999}) {
      EXPECT_EQ(Meldung(2, Code(t.klasse, stelle)), t.text) << "class " << t.klasse << " site " << stelle;
    }
  }
}

TEST(Fehlerkatalog, FixedGermanTextsAndDefaults) {
  for (const Text& t : kDeutsch) {
    for (int stelle : {0, 999}) {
      EXPECT_EQ(Meldung(1, Code(t.klasse, stelle)), t.text) << "class " << t.klasse;
    }
  }
  EXPECT_EQ(Meldung(1, Code(1, 0)), kStandardDe);
  EXPECT_EQ(Meldung(2, Code(1, 0)), kStandardEn);
}

// Both languages have exactly the listed classes and no others.
TEST(Fehlerkatalog, SameClassSetInBothLanguages) {
  std::set<int> erwartet;
  for (const Text& t : kEnglisch) erwartet.insert(t.klasse);
  ASSERT_EQ(erwartet.size(), 158u);

  std::set<int> englisch, deutsch;
  for (int k = 0; k <= 1200; ++k) {
    if (Meldung(2, Code(k, 0)) != kStandardEn) englisch.insert(k);
    if (Meldung(1, Code(k, 0)) != kStandardDe) deutsch.insert(k);
  }
  EXPECT_EQ(englisch, erwartet);
  EXPECT_EQ(deutsch, erwartet);
}

// The German texts that were written freely: present, translated, same line
// layout as the English, and valid UTF-8 (a stray 8-bit byte would garble).
TEST(Fehlerkatalog, FreeGermanTextsAreTranslations) {
  std::set<int> fest;
  for (const Text& t : kDeutsch) fest.insert(t.klasse);
  EXPECT_EQ(fest.size(), 37u);
  for (const Text& t : kEnglisch) {
    const std::string en = Meldung(2, Code(t.klasse, 0));
    const std::string de = Meldung(1, Code(t.klasse, 0));
    EXPECT_TRUE(GueltigesUtf8(en)) << t.klasse;
    EXPECT_TRUE(GueltigesUtf8(de)) << t.klasse;
    EXPECT_EQ(Zeilenumbrueche(de), Zeilenumbrueche(en)) << t.klasse;
    EXPECT_EQ(de.rfind("Timeout:\n", 0) == 0, en.rfind("Timeout:\n", 0) == 0) << t.klasse;
    if (t.klasse == 6 || t.klasse == 9) {
      EXPECT_EQ(de, "") << t.klasse;
      continue;
    }
    EXPECT_FALSE(de.empty()) << t.klasse;
    EXPECT_NE(de, en) << t.klasse;
  }
}

TEST(Fehlerkatalog, ClassArithmeticAtTheBoundaries) {
  struct Fall {
    ErrorCode code;
    const char* en;
    const char* de;
  };
  const Fall faelle[] = {
      {0, "No error", "Es ist kein Fehler aufgetreten"},
      {-999, "No error", "Es ist kein Fehler aufgetreten"},
      {999, "No error", "Es ist kein Fehler aufgetreten"},
      {-1000, kStandardEn, kStandardDe},
      {-1999, kStandardEn, kStandardDe},
      {-2000, "A error occured", "Ein Fehler ist aufgetreten"},
      {1000, kStandardEn, kStandardDe},
      {2000, kStandardEn, kStandardDe},  // positive codes never reach a class
      {302106, kStandardEn, kStandardDe},
      {-302106, "Wrong filetype", "Die Datei ist nicht vom richtigen Typ"},
      {-1032999, "Emergency switch is on", "Der Notausschalter ist gedrückt"},
      {-1017000, "File is no ZPK-1 curvefile.", "Die Datei ist keine ZPK-1 Kurvendatei."},
      {-1033000, kStandardEn, kStandardDe},
      {-121000, kStandardEn, kStandardDe},  // gap between entries
      {-6000, "", ""},
      {-6999, "", ""},
      {-9000, "", ""},
      {-9999, "", ""},
      {INT32_MIN, kStandardEn, kStandardDe},
      {INT32_MAX, kStandardEn, kStandardDe},
      {INT32_MIN + 1, kStandardEn, kStandardDe},
  };
  for (const Fall& f : faelle) {
    EXPECT_EQ(Meldung(2, f.code), f.en) << f.code;
    EXPECT_EQ(Meldung(1, f.code), f.de) << f.code;
  }
}

TEST(Fehlerkatalog, OnlyLanguageTwoIsEnglish) {
  for (int sprache : {0, 1, 2, 3, -1, INT_MIN, INT_MAX}) {
    OLQ_Fehlersprache(sprache);
    EXPECT_EQ(OLQ_FehlerspracheLesen(), sprache);
    EXPECT_STREQ(OLQ_Fehlermeldung(-303107),
                 sprache == 2 ? "Wrong fileversion" : "Die Datei hat die falsche Versionsnummer")
        << sprache;
  }
}

TEST(Fehlerkatalog, OneShotTextIsAppendedOnce) {
  char zusatz[64];
  std::snprintf(zusatz, sizeof zusatz, "\n\nexpected:  %d\nfound: %d", 1, 2);
  OLQ_Fehleruserstring(zusatz);
  EXPECT_EQ(Meldung(2, -303107), "Wrong fileversion\n\nexpected:  1\nfound: 2");
  EXPECT_EQ(Meldung(2, -303107), "Wrong fileversion");

  // A second call replaces a pending text instead of adding to it.
  OLQ_Fehleruserstring("eins");
  OLQ_Fehleruserstring("zwei");
  EXPECT_EQ(Meldung(1, -304105), "Fehler beim Lesen der Dateizwei");
  EXPECT_EQ(Meldung(1, -304105), "Fehler beim Lesen der Datei");
}

TEST(Fehlerkatalog, OneShotTextAlsoAfterDefaultClassZeroAndEmptyClasses) {
  const struct {
    ErrorCode code;
    std::string text;
  } faelle[] = {{-1000, kStandardEn}, {5000000, kStandardEn}, {0, "No error"}, {-6123, ""}, {-9000, ""}};
  for (const auto& f : faelle) {
    OLQ_Fehleruserstring(" [x]");
    EXPECT_EQ(Meldung(2, f.code), f.text + " [x]") << f.code;
    EXPECT_EQ(Meldung(2, f.code), f.text) << f.code;
  }
  // No text at all clears a pending one.
  OLQ_Fehleruserstring(" [x]");
  OLQ_Fehleruserstring(nullptr);
  EXPECT_EQ(Meldung(2, 0), "No error");
}

TEST(Fehlerkatalog, LongOneShotTextIsCutAtACharacterBoundary) {
  const std::string basis = "No error";
  const struct {
    std::string eingabe;
    std::string behalten;
  } faelle[] = {
      {std::string(299, 'a'), std::string(299, 'a')},
      {std::string(297, 'a') + "ä", std::string(297, 'a') + "ä"},         // ends exactly at 299
      {std::string(300, 'a'), std::string(299, 'a')},
      {std::string(5000, 'b'), std::string(299, 'b')},
      {std::string(298, 'a') + "äbc", std::string(298, 'a')},             // 2-byte char straddles
      {std::string(297, 'a') + "€x", std::string(297, 'a')},              // 3-byte, last byte over
      {std::string(298, 'a') + "€x", std::string(298, 'a')},              // 3-byte, two bytes over
      {std::string(296, 'a') + "\xF0\x9F\x98\x80y", std::string(296, 'a')},  // 4-byte
      {std::string(295, 'a') + "\xF0\x9F\x98\x80y", std::string(295, 'a') + "\xF0\x9F\x98\x80"},
  };
  for (const auto& f : faelle) {
    OLQ_Fehleruserstring(f.eingabe.c_str());
    const std::string m = Meldung(2, 0);
    EXPECT_EQ(m, basis + f.behalten) << f.eingabe.size();
    EXPECT_TRUE(GueltigesUtf8(m));
  }
}

// The longest text of the catalogue with the longest one-shot text still
// comes back whole.
TEST(Fehlerkatalog, LongestMessageFits) {
  int laengsteKlasse = 0;
  int laengsteSprache = 1;
  std::size_t laenge = 0;
  for (const Text& t : kEnglisch) {
    for (int sprache : {1, 2}) {
      const std::size_t n = Meldung(sprache, Code(t.klasse, 0)).size();
      if (n > laenge) {
        laenge = n;
        laengsteKlasse = t.klasse;
        laengsteSprache = sprache;
      }
    }
  }
  EXPECT_GE(laenge, 192u);
  const std::string text = Meldung(laengsteSprache, Code(laengsteKlasse, 0));
  const std::string zusatz = std::string(298, 'z') + "!";
  OLQ_Fehleruserstring(zusatz.c_str());
  const std::string m = Meldung(laengsteSprache, Code(laengsteKlasse, 0));
  EXPECT_EQ(m, text + zusatz);
  EXPECT_LT(m.size(), 500u);
}
