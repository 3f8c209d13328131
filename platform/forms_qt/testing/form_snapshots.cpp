#include "platform/forms_qt/testing/form_snapshots.h"

#include <QDir>
#include <QIcon>
#include <QImage>
#include <cstdlib>
#include <memory>

#include "platform/forms_qt/snapshot.h"

namespace platform::forms_qt::testing {

namespace {

std::unique_ptr<QtSession>& session_holder() {
    static std::unique_ptr<QtSession> session;
    return session;
}

// Frees the session after the last test, while everything it needs still exists.
class QtSessionEnvironment : public ::testing::Environment {
  public:
    void TearDown() override { session_holder().reset(); }
};

[[maybe_unused]] const auto* const environment =
    ::testing::AddGlobalTestEnvironment(new QtSessionEnvironment);

bool updating() {
    const char* value = std::getenv("ZOR_UPDATE_SNAPSHOTS");
    return value && *value && std::string(value) != "0";
}

}  // namespace

QtSession& qt_session() {
    auto& session = session_holder();
    if (!session) {
        // Snapshots are always rendered offscreen, also on a desktop.
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        session = std::make_unique<QtSession>();
        // The desktop's icon theme differs between machines: the controls' own pictures only.
        QIcon::setThemeSearchPaths({});
        QIcon::setFallbackSearchPaths({});
        QIcon::setThemeName(QString());
    }
    session->install();
    return *session;
}

::testing::AssertionResult matches_golden(platform::forms::Form& form, const std::string& golden_folder,
                                          const std::string& name) {
    QtBackend& backend = qt_session().backend();
    const QImage actual = render_form(backend, form);
    std::string problems;
    for (const std::string& p : cut_off_texts(backend, form)) problems += "\n  cut off: " + p;
    return image_matches_golden(actual, golden_folder, name, problems);
}

::testing::AssertionResult image_matches_golden(const QImage& actual, const std::string& golden_folder,
                                                const std::string& name, const std::string& problems) {
    const QString golden = QString::fromStdString(golden_folder + "/" + name + ".png");
    if (updating()) {
        QDir().mkpath(QString::fromStdString(golden_folder));
        if (!actual.save(golden, "PNG"))
            return ::testing::AssertionFailure() << "cannot write " << golden.toStdString();
        if (!problems.empty()) return ::testing::AssertionFailure() << name << problems;
        return ::testing::AssertionSuccess();
    }
    const QImage expected(golden);
    if (expected.isNull()) {
        return ::testing::AssertionFailure() << "no golden image " << golden.toStdString()
                                             << " (ZOR_UPDATE_SNAPSHOTS=1 writes it)" << problems;
    }
    const ImageDifference d = compare_images(expected, actual, snapshot_channel_tolerance);
    const bool same = d.same_size && d.differing_pixels * 1000 <= d.total_pixels * snapshot_pixels_per_mille;
    if (same && problems.empty()) return ::testing::AssertionSuccess();
    auto failure = ::testing::AssertionFailure() << name << ":";
    if (!same) {
        QDir().mkpath(QStringLiteral("snapshot-failures"));
        const QString base = QDir::current().absoluteFilePath(QStringLiteral("snapshot-failures/") +
                                                              QString::fromStdString(name));
        actual.save(base + QStringLiteral(".actual.png"), "PNG");
        if (d.same_size) {
            d.marked.save(base + QStringLiteral(".diff.png"), "PNG");
            failure << " " << d.differing_pixels << " of " << d.total_pixels << " pixels differ";
        } else {
            failure << " size " << actual.width() << "x" << actual.height() << ", golden " << expected.width()
                    << "x" << expected.height();
        }
        failure << " (see " << base.toStdString()
                << ".actual.png; ZOR_UPDATE_SNAPSHOTS=1 accepts the new look)";
    }
    return failure << problems;
}

}  // namespace platform::forms_qt::testing
