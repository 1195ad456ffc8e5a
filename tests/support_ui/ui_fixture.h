#pragma once
// Shared fixture for tests that drive the program's windows offscreen.
//
// Each test gets: the toolkit started once per process (offscreen unless
// QT_QPA_PLATFORM says otherwise), unbound callbacks allowed, the callbacks of the
// linked modules registered, a fresh empty working directory, the three windows
// loaded into gPanelHandle / gCompanelHandle / gInfopanelHandle in German (the
// operator window shown, the connection window hidden as after start-up), the
// language globals and the catalogue language set, popups automated, and the
// program table, connection settings, file name and title as start-up leaves them.
// TearDown closes a port a test left open, discards the windows, disarms the
// seams and removes the working directory.
//
//   class MeinTest : public uitest::UiTest {};
//   TEST_F(MeinTest, X) { Sprache(2); ... TestOperatorSetValue(gPanelHandle, ...); }
#include <gtest/gtest.h>

#include <string>

#include "sim_harness.h"
#include "support_ui/ui_lesen.h"

namespace uitest {

// Starts the toolkit once; false when no window platform can be used.
bool ToolkitStarten();

// Loads the three windows of `sprache` (1 German, 2 English) into the handle
// globals, discarding windows loaded before; sets gSprache, gSpracheNeu, the
// toolkit's and the catalogue's language. False when a window cannot be loaded.
bool FensterLaden(int sprache);
void FensterVerwerfen();

// The start state of the modules: connection defaults, program defaults, the
// unnamed file and the title, all shown in the windows (nothing is opened).
void StartzustandHerstellen();

class UiTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Opens COM 1 on the simulator, as the operator would in the settings, and
  // forgets the frames seen so far.
  static void Verbinden(simtest::Simulator& sim);
  // Reloads the windows in another language and restores the start state.
  void Sprache(int sprache);
  // The test's working directory, and a path inside it.
  const std::string& Arbeitsverzeichnis() const { return tempVerzeichnis_; }
  std::string Pfad(const std::string& name) const { return tempVerzeichnis_ + "/" + name; }

 private:
  std::string altesVerzeichnis_;
  std::string tempVerzeichnis_;
};

}  // namespace uitest
