// Many stations on one broker: N monitors (zpk3x-cli monitor --json --mqtt)
// against N simulators at 0.5 s, one Mosquitto on this machine, one subscriber
// to all values. Prints each monitor's processor time and the delay to the
// subscriber receiving the same bytes, from a query's answer (its line on the
// monitor's standard output) and from the time stamp in the value.
// With the window built, the window publishes as one more station ("fenster",
// offscreen, its continuous query on); its delay is measured from the time stamp.
//   zpk3x_cli_mqtt_bench [STATIONS [SECONDS]]   (default 20 stations, 60 s)
#include <fcntl.h>
#include <mosquitto.h>
#include <poll.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "mqtt_broker.h"
#include "sim_harness.h"

extern char** environ;

namespace {

using Uhr = std::chrono::steady_clock;

using Wanduhr = std::chrono::system_clock;

struct Ankunft {
  Uhr::time_point zeit;
  Wanduhr::time_point wand;
  std::string thema;
};

// A value is known by its station and its time stamp, which no other query of
// that station has: the same value twice is a duplicate, whatever the payload.
std::string Schluessel(const std::string& thema, const std::string& inhalt) {
  const std::size_t i = inhalt.find("\"time\":\"");
  return thema + " " + (i == std::string::npos ? inhalt : inhalt.substr(i, inhalt.find('"', i + 8) - i));
}

struct Empfang {
  std::mutex m;
  std::map<std::string, std::vector<Ankunft>> zeit;  // value -> its arrivals
  std::map<std::string, std::string> inhalt;         // value -> its payload
  bool abonniert = false;
};

void BeiNachricht(mosquitto*, void* e, const mosquitto_message* n) {
  const Ankunft jetzt{Uhr::now(), Wanduhr::now(), n->topic};
  auto* empfang = static_cast<Empfang*>(e);
  const std::string inhalt(static_cast<const char*>(n->payload), static_cast<std::size_t>(n->payloadlen));
  const std::string k = Schluessel(n->topic, inhalt);
  std::lock_guard<std::mutex> sperre(empfang->m);
  empfang->zeit[k].push_back(jetzt);
  empfang->inhalt.emplace(k, inhalt);
}

void BeiAbo(mosquitto*, void* e, int, int, const int*) {
  auto* empfang = static_cast<Empfang*>(e);
  std::lock_guard<std::mutex> sperre(empfang->m);
  empfang->abonniert = true;
}

struct Station {
  pid_t pid = -1;
  int aus = -1;
  std::string rest;
  std::vector<std::pair<std::string, Uhr::time_point>> zeilen;
  double cpu = 0;
  bool ok = false;
};

pid_t Starten(const std::vector<std::string>& argumente, int* aus) {
  std::vector<std::string> args = {ZPK3X_CLI};
  args.insert(args.end(), argumente.begin(), argumente.end());
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  int p[2];
  if (::pipe2(p, O_CLOEXEC) != 0) return -1;
  posix_spawn_file_actions_t aktionen;
  posix_spawn_file_actions_init(&aktionen);
  posix_spawn_file_actions_adddup2(&aktionen, p[1], STDOUT_FILENO);
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], &aktionen, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&aktionen);
  ::close(p[1]);
  *aus = p[0];
  return pid;
}

// The value's time stamp ("time": "2026-12-08T10:00:00.123+01:00") as a point
// of the wall clock; false when the line has none.
bool Zeitstempel(const std::string& zeile, Wanduhr::time_point* t) {
  const std::size_t i = zeile.find("\"time\":\"");
  if (i == std::string::npos) return false;
  std::tm tm{};
  int ms = 0, vh = 0, vm = 0;
  char vz = '+';
  if (std::sscanf(zeile.c_str() + i + 8, "%4d-%2d-%2dT%2d:%2d:%2d.%3d%c%2d:%2d", &tm.tm_year, &tm.tm_mon, &tm.tm_mday, &tm.tm_hour,
                  &tm.tm_min, &tm.tm_sec, &ms, &vz, &vh, &vm) != 10)
    return false;
  tm.tm_year -= 1900;
  tm.tm_mon -= 1;
  const long versatz = (vz == '-' ? -1 : 1) * (vh * 3600L + vm * 60L);
  *t = Wanduhr::from_time_t(::timegm(&tm) - versatz) + std::chrono::milliseconds(ms);
  return true;
}

#ifdef ZPK3X_FENSTER
// The window in a working folder of its own, its port the simulator's terminal.
pid_t FensterStarten(const std::string& ordner, const std::string& pty, const std::string& url, const std::string& sekunden) {
  ::mkdir(ordner.c_str(), 0755);
  if (std::FILE* f = std::fopen((ordner + "/zpk3xSteuerung.ini").c_str(), "w")) {
    std::fputs("[ZPK3X]\nport = 1\nbaudrate = 9600\n", f);
    std::fclose(f);
  }
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  ::setenv("ZPK3X_COM1", pty.c_str(), 1);
  ::setenv("ZPK3X_MQTT", url.c_str(), 1);
  ::setenv("ZPK3X_MQTT_STATION", "fenster", 1);
  std::vector<std::string> args = {ZPK3X_FENSTER, sekunden};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t aktionen;
  posix_spawn_file_actions_init(&aktionen);
  posix_spawn_file_actions_addchdir_np(&aktionen, ordner.c_str());
  posix_spawn_file_actions_addopen(&aktionen, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&aktionen, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], &aktionen, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&aktionen);
  return pid;
}
#endif

double Quantil(std::vector<double> v, double q) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<std::size_t>(q * static_cast<double>(v.size())))];
}

}  // namespace

int main(int argc, char** argv) {
  const int anzahl = argc > 1 ? std::atoi(argv[1]) : 20;
  const double sekunden = argc > 2 ? std::atof(argv[2]) : 60;
  if (const std::string fehlt = mqtttest::Fehlt(); !fehlt.empty()) {
    std::fprintf(stderr, "not installed: %s\n", fehlt.c_str());
    return 1;
  }
  char vorlage[] = "/tmp/zpk3x-mqtt-bench-XXXXXX";
  if (::mkdtemp(vorlage) == nullptr) return 1;
  const std::string ordner = vorlage;
  int rc = 1;
  {
    mqtttest::Broker broker(ordner);
    if (!broker.starten()) {
      std::fprintf(stderr, "the broker did not start\n");
      return 1;
    }
    std::vector<std::unique_ptr<simtest::Simulator>> simulatoren;
    for (int i = 0; i <= anzahl; ++i) {  // one more for the window
      simulatoren.push_back(std::make_unique<simtest::Simulator>());
      if (!simulatoren.back()->ok()) return 1;
    }

    mosquitto_lib_init();
    Empfang empfang;
    mosquitto* sub = mosquitto_new(nullptr, true, &empfang);
    mosquitto_username_pw_set(sub, broker.optionen().benutzer.c_str(), broker.optionen().passwort.c_str());
    mosquitto_message_callback_set(sub, BeiNachricht);
    mosquitto_subscribe_callback_set(sub, BeiAbo);
    if (mosquitto_connect(sub, "127.0.0.1", broker.port(), 30) != MOSQ_ERR_SUCCESS ||
        mosquitto_subscribe(sub, nullptr, "bench/+/values", 0) != MOSQ_ERR_SUCCESS || mosquitto_loop_start(sub) != MOSQ_ERR_SUCCESS) {
      std::fprintf(stderr, "the subscriber did not connect\n");
      return 1;
    }
    mqtttest::Warten([&] {
      std::lock_guard<std::mutex> sperre(empfang.m);
      return empfang.abonniert;
    }, 10);

    ::setenv("ZPK3X_MQTT_PASSWORD", broker.optionen().passwort.c_str(), 1);  // as a service would have it
    std::vector<Station> stationen(static_cast<std::size_t>(anzahl));
    char dauer[32];
    std::snprintf(dauer, sizeof dauer, "%g", sekunden);
    for (int i = 0; i < anzahl; ++i) {
      Station& s = stationen[static_cast<std::size_t>(i)];
      s.pid = Starten({"--port", simulatoren[static_cast<std::size_t>(i)]->ptyPath(), "--json", "monitor", "--interval", "0.5",
                       "--duration", dauer, "--mqtt", broker.url("bench", false), "--station", "s" + std::to_string(i)},
                      &s.aus);
    }
    pid_t fenster = -1;
#ifdef ZPK3X_FENSTER
    fenster = FensterStarten(ordner + "/fenster", simulatoren.back()->ptyPath(), broker.url("bench", false), dauer);
#endif
    // Each line with the time it came out of the monitor.
    int offen = anzahl;
    while (offen > 0) {
      std::vector<pollfd> p;
      for (Station& s : stationen) p.push_back({s.aus, POLLIN, 0});
      if (::poll(p.data(), p.size(), 1000) < 0) break;
      const auto jetzt = Uhr::now();
      for (std::size_t i = 0; i < p.size(); ++i) {
        if (p[i].fd < 0 || p[i].revents == 0) continue;
        Station& s = stationen[i];
        char puffer[4096];
        const ssize_t n = ::read(s.aus, puffer, sizeof puffer);
        if (n <= 0) {
          ::close(s.aus);
          s.aus = -1;
          --offen;
          continue;
        }
        s.rest.append(puffer, static_cast<std::size_t>(n));
        for (std::size_t ende; (ende = s.rest.find('\n')) != std::string::npos; s.rest.erase(0, ende + 1))
          s.zeilen.emplace_back(s.rest.substr(0, ende), jetzt);
      }
    }
    for (Station& s : stationen) {
      int status = 0;
      rusage r{};
      if (::wait4(s.pid, &status, 0, &r) == s.pid) {
        s.cpu = static_cast<double>(r.ru_utime.tv_sec + r.ru_stime.tv_sec) +
                static_cast<double>(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
        s.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
      }
    }
    double fensterCpu = 0;
    bool fensterOk = fenster < 0;
    if (fenster > 0) {
      int status = 0;
      rusage r{};
      if (::wait4(fenster, &status, 0, &r) == fenster) {
        fensterCpu = static_cast<double>(r.ru_utime.tv_sec + r.ru_stime.tv_sec) +
                     static_cast<double>(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
        fensterOk = WIFEXITED(status) && WEXITSTATUS(status) == 0;
      }
    }
    mqtttest::Warten([] { return false; }, 1.0);  // the last messages on their way
    mosquitto_disconnect(sub);
    mosquitto_loop_stop(sub, false);

    std::vector<double> verzug, verzugStempel, verzugFenster, cpu;
    std::size_t fehlen = 0, zeilen = 0, doppelt = 0, anders = 0;
    bool alleOk = true;
    {
      std::lock_guard<std::mutex> sperre(empfang.m);
      for (std::size_t i = 0; i < stationen.size(); ++i) {
        const Station& s = stationen[i];
        alleOk = alleOk && s.ok;
        cpu.push_back(s.cpu);
        for (const auto& [zeile, zeit] : s.zeilen) {
          // The values only: not the summary that ends the stream, nor an error object.
          if (zeile.rfind("{\"time\":", 0) != 0) continue;
          ++zeilen;
          const std::string k = Schluessel("bench/s" + std::to_string(i) + "/values", zeile);
          const auto e = empfang.zeit.find(k);
          if (e == empfang.zeit.end()) {
            ++fehlen;
          } else {
            doppelt += e->second.size() - 1;
            if (empfang.inhalt[k] != zeile) ++anders;
            verzug.push_back(std::chrono::duration<double, std::milli>(e->second.front().zeit - zeit).count());
            if (Wanduhr::time_point t; Zeitstempel(zeile, &t))
              verzugStempel.push_back(std::chrono::duration<double, std::milli>(e->second.front().wand - t).count());
          }
        }
      }
    }
    {
      std::lock_guard<std::mutex> sperre(empfang.m);
      for (const auto& [k, ankuenfte] : empfang.zeit)
        if (Wanduhr::time_point t; ankuenfte.front().thema == "bench/fenster/values" && Zeitstempel(empfang.inhalt[k], &t))
          verzugFenster.push_back(std::chrono::duration<double, std::milli>(ankuenfte.front().wand - t).count());
    }
    mosquitto_destroy(sub);
    mosquitto_lib_cleanup();

    double summe = 0;
    for (double c : cpu) summe += c;
    std::printf("%d stations, interval 0.5 s, %.0f s, one broker on 127.0.0.1\n", anzahl, sekunden);
    std::printf("values: %zu, received by the subscriber: %zu, missing: %zu, duplicated: %zu, payload differing: %zu\n", zeilen,
                zeilen - fehlen, fehlen, doppelt, anders);
    std::printf("processor time per station: mean %.3f s (%.2f %% of a core), max %.3f s\n", summe / anzahl,
                100.0 * summe / anzahl / sekunden, *std::max_element(cpu.begin(), cpu.end()));
    std::printf("delay answer -> subscriber: median %.2f ms, 99th percentile %.2f ms, max %.2f ms\n", Quantil(verzug, 0.5),
                Quantil(verzug, 0.99), Quantil(verzug, 1.0));
    std::printf("delay time stamp -> subscriber: median %.2f ms, 99th percentile %.2f ms, max %.2f ms\n",
                Quantil(verzugStempel, 0.5), Quantil(verzugStempel, 0.99), Quantil(verzugStempel, 1.0));
    if (fenster > 0) {
      std::printf("the window as one more station: %zu values received, processor time %.3f s (%.2f %% of a core), %s\n",
                  verzugFenster.size(), fensterCpu, 100.0 * fensterCpu / sekunden, fensterOk ? "ended normally" : "FAILED");
      std::printf("  its delay time stamp -> subscriber: median %.2f ms, 99th percentile %.2f ms, max %.2f ms\n",
                  Quantil(verzugFenster, 0.5), Quantil(verzugFenster, 0.99), Quantil(verzugFenster, 1.0));
    }
    rc = alleOk && fensterOk && fehlen == 0 && doppelt == 0 && anders == 0 && zeilen > 0 ? 0 : 1;
  }
  mqtttest::Ausfuehren({"rm", "-rf", ordner});
  return rc;
}
