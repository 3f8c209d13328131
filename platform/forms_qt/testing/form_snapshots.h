// Snapshot tests of forms, for every subsystem that has forms.
//
// A form that fills itself when shown takes one line (see FORM_SNAPSHOT below):
//     FORM_SNAPSHOT(ConfigSnapshots, zorsetup::Tconfig_form, config_form)
// A form the test fills first:
//     auto form = make_form<Tnew_syr>();
//     form->Show();                               // as the program shows it (OnActivate fills it)
//     EXPECT_FORM_SNAPSHOT(*form, "new_syr");     // compares with snapshots/new_syr.png
//
// The suite's name ends in "Snapshot" or "Snapshots" (ctest -R Snapshot finds them all). The
// folder's CMakeLists.txt has one
//     zor_snapshot_test(serial_snapshot_tests SOURCES tests/snapshot_test.cpp LIBS zor_serial)
// which builds the test against this helper, keeps the golden images in tests/snapshots/ of
// that folder and runs it offscreen; a new snapshot in an existing file needs nothing more, and
// its first run with ZOR_UPDATE_SNAPSHOTS=1 writes its golden image.
//
// The form is rendered offscreen with the pinned look (qt_session.h) and compared with the
// golden PNG with a small tolerance (anti-aliasing may differ by a few levels); texts cut off
// at the real font metrics fail the test too. On a difference the actual image and one with
// the differing pixels marked are written to snapshot-failures/ in the test's working folder.
//
// A changed look is reviewed by regenerating the golden files and committing them with the
// change: ZOR_UPDATE_SNAPSHOTS=1 ctest -R snapshot (writes every golden the tests render).
#pragma once

#include <gtest/gtest.h>

#include <QImage>
#include <string>

#include "platform/forms/form.h"
#include "platform/forms_qt/qt_session.h"

namespace platform::forms_qt::testing {

// The test program's Qt session (offscreen), made on first use and freed after the last test;
// each call installs its backend and waiter again (a test's reset of the forms' state removes
// them), so call it in the fixture's SetUp.
QtSession& qt_session();

// Pixels may differ by this much per channel, and this share of the pixels (per mille) may
// differ by more.
inline constexpr int snapshot_channel_tolerance = 48;
inline constexpr int snapshot_pixels_per_mille = 2;

::testing::AssertionResult matches_golden(platform::forms::Form& form, const std::string& golden_folder,
                                          const std::string& name);
// The same for an image rendered otherwise (a pop-up menu, a button image); `problems`, when
// not empty, fails the comparison with that text.
::testing::AssertionResult image_matches_golden(const QImage& actual, const std::string& golden_folder,
                                                const std::string& name, const std::string& problems = {});

// The fixture of FORM_SNAPSHOT without a fixture of its own.
class FormSnapshot : public ::testing::Test {};

}  // namespace platform::forms_qt::testing

#define EXPECT_FORM_SNAPSHOT(form, name) \
    EXPECT_TRUE(::platform::forms_qt::testing::matches_golden((form), ZOR_SNAPSHOT_DIR, (name)))
#define EXPECT_IMAGE_SNAPSHOT(image, name) \
    EXPECT_TRUE(::platform::forms_qt::testing::image_matches_golden((image), ZOR_SNAPSHOT_DIR, (name)))

// A whole snapshot test in one line, for a form that fills itself when shown:
//     FORM_SNAPSHOT(ConfigSnapshots, zorsetup::Tconfig_form, config_form)
// makes the form, shows it as the program does (OnActivate fills it), compares it with
// snapshots/config_form.png and hides it again. FIXTURE (FormSnapshot where nothing needs
// setting up) prepares what the form reads: settings, session, ports.
#define FORM_SNAPSHOT(FIXTURE, FORM_CLASS, NAME)                         \
    TEST_F(FIXTURE, NAME) {                                              \
        ::platform::forms_qt::testing::qt_session();                     \
        auto snapshot_form = ::platform::forms::make_form<FORM_CLASS>(); \
        snapshot_form->Show();                                           \
        EXPECT_FORM_SNAPSHOT(*snapshot_form, #NAME);                     \
        snapshot_form->Hide();                                           \
    }
