// Configuration file: the five keys, their checks, and the file written at exit.
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "Com/Com.h"
#include "OLQ_errorV3/OLQ_errorV3.h"
#include "support_ui/ui_fixture.h"
#include "zpk3xFunktionen/zpk3xFunktionen.h"
#include "zpk3xSteuerung/PruefplanFenster.h"
#include "zpk3xSteuerung/Veroeffentlichung.h"
#include "zpk3xSteuerung/zpk3xSteuerung.h"

namespace {

constexpr const char* kDatei = "zpk3xSteuerung.ini";

void IniDateiSchreiben(const std::string& inhalt) {
  std::ofstream f(kDatei, std::ios::binary);
  f << inhalt;
}

std::string IniDateiLesen() {
  std::ifstream f(kDatei, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

class Konfiguration : public uitest::UiTest {
 protected:
  void SetUp() override {
    uitest::UiTest::SetUp();
    gSprache = 1;
    gSpracheNeu = 1;
    OLQ_Fehlersprache(1);
    ComStrukturInitialisieren();
  }
};

TEST_F(Konfiguration, OhneDateiBleibtAllesBeimStandardUndDerSchreiberLegtSieAn) {
  ASSERT_FALSE(std::filesystem::exists(kDatei));
  EXPECT_EQ(IniLaden(), -802208);
  EXPECT_EQ(gSprache, 1);
  EXPECT_EQ(gSpracheNeu, 1);
  EXPECT_EQ(OLQ_FehlerspracheLesen(), 1);
  EXPECT_EQ(gCom.port, -1);
  EXPECT_EQ(gCom.lport, -1);
  EXPECT_EQ(gCom.adresse, '1');
  EXPECT_EQ(gCom.baudrate, 9600);

  EXPECT_EQ(IniSchreiben(), 0);
  EXPECT_EQ(IniDateiLesen(),
            "[ZPK3X]\r\nadresse = 49\r\nbaudrate = 9600\r\nlport = -1\r\nport = -1\r\nsprache = 1\r\n\r\n");
}

TEST_F(Konfiguration, PortNurMinusEinsBisAcht) {
  gCom.port = 5;
  IniDateiSchreiben("[ZPK3X]\nport = 9\nlport = 0\n");
  EXPECT_EQ(IniLaden(), 0);
  EXPECT_EQ(gCom.port, 5);
  EXPECT_EQ(gCom.lport, -1);

  IniDateiSchreiben("[ZPK3X]\nport = -1\nlport = 8\n");
  EXPECT_EQ(IniLaden(), 0);
  EXPECT_EQ(gCom.port, -1);
  EXPECT_EQ(gCom.lport, 8);

  IniDateiSchreiben("[ZPK3X]\nport = 1\nlport = -2\n");
  EXPECT_EQ(IniLaden(), 0);
  EXPECT_EQ(gCom.port, 1);
  EXPECT_EQ(gCom.lport, 8);
}

TEST_F(Konfiguration, AdresseUndBaudrate) {
  IniDateiSchreiben("[ZPK3X]\nadresse = 38\nbaudrate = 4800\n");
  EXPECT_EQ(IniLaden(), 0);
  EXPECT_EQ(gCom.adresse, '&');
  EXPECT_EQ(gCom.baudrate, 4800);

  IniDateiSchreiben("[ZPK3X]\nadresse = 57\nbaudrate = 19200\n");
  EXPECT_EQ(IniLaden(), 0);
  EXPECT_EQ(gCom.adresse, '&');
  EXPECT_EQ(gCom.baudrate, 4800);

  IniDateiSchreiben("[ZPK3X]\nadresse = 48\nbaudrate = 1201\n");
  IniLaden();
  EXPECT_EQ(gCom.adresse, '&');
  EXPECT_EQ(gCom.baudrate, 4800);

  IniDateiSchreiben("[ZPK3X]\nadresse = 56\nbaudrate = 1200\n");
  IniLaden();
  EXPECT_EQ(gCom.adresse, '8');
  EXPECT_EQ(gCom.baudrate, 1200);
}

TEST_F(Konfiguration, WerteInAnfuehrungszeichenUndMitLeerzeichenZaehlenKommentarNicht) {
  IniDateiSchreiben("[ZPK3X]\nport = \"3\"\nlport =    6\nbaudrate = 2400 ; schnell\nadresse = \"50\"\n");
  EXPECT_EQ(IniLaden(), 0);
  EXPECT_EQ(gCom.port, 3);
  EXPECT_EQ(gCom.lport, 6);
  EXPECT_EQ(gCom.baudrate, 9600);
  EXPECT_EQ(gCom.adresse, '2');
}

TEST_F(Konfiguration, SchluesselAndererSektionenZaehlenNicht) {
  IniDateiSchreiben("[ANDERS]\nport = 4\n[ZPK3X]\nlport = 2\n");
  EXPECT_EQ(IniLaden(), 0);
  EXPECT_EQ(gCom.port, -1);
  EXPECT_EQ(gCom.lport, 2);
}

TEST_F(Konfiguration, SpracheZweiIstEnglischAlleAnderenDeutsch) {
  IniDateiSchreiben("[ZPK3X]\nsprache = 2\n");
  EXPECT_EQ(IniLaden(), 0);
  EXPECT_EQ(gSprache, 2);
  EXPECT_EQ(gSpracheNeu, 2);
  EXPECT_EQ(OLQ_FehlerspracheLesen(), 2);
  EXPECT_EQ(IniSchreiben(), 0);
  EXPECT_NE(IniDateiLesen().find("sprache = 2\r\n"), std::string::npos);

  gSprache = 1;
  gSpracheNeu = 1;
  IniDateiSchreiben("[ZPK3X]\nsprache = 3\n");
  EXPECT_EQ(IniLaden(), 0);
  EXPECT_EQ(gSprache, 1);
  EXPECT_EQ(gSpracheNeu, 1);
  EXPECT_EQ(OLQ_FehlerspracheLesen(), 1);
  EXPECT_EQ(IniSchreiben(), 0);
  EXPECT_NE(IniDateiLesen().find("sprache = 1\r\n"), std::string::npos);

  // The language chosen in the menu is what the next start gets.
  gSpracheNeu = 2;
  EXPECT_EQ(IniSchreiben(), 0);
  EXPECT_NE(IniDateiLesen().find("sprache = 2\r\n"), std::string::npos);
}

TEST_F(Konfiguration, GeschriebenWirdDerOffenePortNichtDerGewaehlte) {
  gCom.port = 5;
  gCom.offenerPort = 3;
  gCom.lport = 7;
  gCom.adresse = '&';
  gCom.baudrate = 1200;
  gSpracheNeu = 2;
  EXPECT_EQ(IniSchreiben(), 0);
  EXPECT_EQ(IniDateiLesen(),
            "[ZPK3X]\r\nadresse = 38\r\nbaudrate = 1200\r\nlport = 7\r\nport = 3\r\nsprache = 2\r\n\r\n");

  // Read back: the open port becomes the port to open, the rest as written.
  ComStrukturInitialisieren();
  EXPECT_EQ(IniLaden(), 0);
  EXPECT_EQ(gCom.port, 3);
  EXPECT_EQ(gCom.lport, 7);
  EXPECT_EQ(gCom.adresse, '&');
  EXPECT_EQ(gCom.baudrate, 1200);

  gCom.offenerPort = -1;
  gCom.port = 5;
  EXPECT_EQ(IniSchreiben(), 0);
  EXPECT_NE(IniDateiLesen().find("\r\nport = -1\r\n"), std::string::npos);
}

// The window's MQTT settings: read at start, and kept when the file is written.
TEST_F(Konfiguration, DieMqttSektionWirdGelesenUndBleibtErhalten) {
  IniDateiSchreiben("[ZPK3X]\nport = 2\n[MQTT]\nZPK3X_MQTT = mqtts://bench7@broker.lab/lab\nZPK3X_MQTT_STATION = bench 7\n");
  EXPECT_EQ(IniLaden(), 0);
  EXPECT_EQ(gMqttKonfiguration.url, "mqtts://bench7@broker.lab/lab");
  EXPECT_TRUE(gMqttKonfiguration.stationGegeben);
  EXPECT_EQ(gMqttKonfiguration.station, "bench 7");
  EXPECT_FALSE(gMqttKonfiguration.passwortGegeben);
  gSpracheNeu = 2;
  EXPECT_EQ(IniSchreiben(), 0);
  const std::string neu = IniDateiLesen();
  EXPECT_NE(neu.find("[MQTT]\r\n"), std::string::npos) << neu;
  EXPECT_NE(neu.find("ZPK3X_MQTT = mqtts://bench7@broker.lab/lab\r\n"), std::string::npos) << neu;
  EXPECT_NE(neu.find("sprache = 2\r\n"), std::string::npos) << neu;
  EXPECT_EQ(IniLaden(), 0);
  EXPECT_EQ(gMqttKonfiguration.station, "bench 7");

  IniDateiSchreiben("[ZPK3X]\nport = 2\n");
  EXPECT_EQ(IniLaden(), 0);
  EXPECT_EQ(gMqttKonfiguration.url, "");
}

// The test plans' records' folder: read at start, kept in the file, never added to it.
TEST_F(Konfiguration, DerProtokollordnerWirdGelesenUndBleibtErhalten) {
  IniDateiSchreiben("[ZPK3X]\nprotokollordner = /srv/qs/Linie 3\n");
  EXPECT_EQ(IniLaden(), 0);
  EXPECT_EQ(gProtokollordner, "/srv/qs/Linie 3");
  EXPECT_EQ(IniSchreiben(), 0);
  EXPECT_NE(IniDateiLesen().find("\r\nprotokollordner = /srv/qs/Linie 3\r\n"), std::string::npos) << IniDateiLesen();
  IniDateiSchreiben("[ZPK3X]\nprotokollordner =\n");
  EXPECT_EQ(IniLaden(), 0);
  EXPECT_EQ(gProtokollordner, PROTOKOLLORDNER_STANDARD) << "an empty value is no folder";
}

TEST_F(Konfiguration, DateiDieKeineIstGibtLeseUndSchreibfehler) {
  std::filesystem::create_directory(kDatei);
  const ErrorCode gelesen = IniLaden();
  EXPECT_TRUE(gelesen == -801209 || gelesen == -802208) << gelesen;
  EXPECT_EQ(gCom.port, -1);
  EXPECT_EQ(IniSchreiben(), -800210);
  EXPECT_TRUE(std::filesystem::is_directory(kDatei));
}

}  // namespace
