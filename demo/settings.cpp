// SPDX-License-Identifier: MIT
// The settings file: an INI file written whole by QSettings, read back key by key and
// checked, so that a value the program never writes counts as damage.
#include "settings.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include "CorvexLink.h"
#include "message_box.h"
#include "program.h"

namespace demo {
namespace {

const QString kTitle = QStringLiteral(" ERROR in Settings");

struct FileState {
    QString problem;             // what restoreSettings() found, until it is reported
    bool readable = true;        // false: the file is left alone for the whole run
    bool writeReported = false;  // a failed write was reported
};

FileState &fileState() {
    static FileState state;
    return state;
}

QString motorGroup(int motor) { return QStringLiteral("motor%1/").arg(motor); }

// Reads the keys of a settings file; the first value the program would never have written
// is kept as the problem, and every later read gives its fallback.
class Reader {
public:
    explicit Reader(const QSettings &settings) : settings_(settings) {}

    const QString &problem() const { return problem_; }

    std::int32_t integer(const QString &key, std::int32_t fallback,
                         long long minimum = std::numeric_limits<std::int32_t>::min(),
                         long long maximum = std::numeric_limits<std::int32_t>::max()) {
        const std::optional<QString> text = raw(key);
        if (!text) return fallback;
        bool number = false;
        const long long value = text->trimmed().toLongLong(&number, 10);
        if (!number || value < minimum || value > maximum) {
            refuse(key, *text,
                   QStringLiteral("a whole number from %1 to %2").arg(minimum).arg(maximum));
            return fallback;
        }
        return static_cast<std::int32_t>(value);
    }

    bool flag(const QString &key, bool fallback) {
        const std::optional<QString> text = raw(key);
        if (!text) return fallback;
        if (*text == QLatin1String("true")) return true;
        if (*text == QLatin1String("false")) return false;
        refuse(key, *text, QStringLiteral("true or false"));
        return fallback;
    }

    // One of `choices`, as its index; `fallback` when the key is missing.
    template <std::size_t N>
    int choice(const QString &key, const std::array<int, N> &choices, int fallback) {
        const std::optional<QString> text = raw(key);
        if (!text) return fallback;
        bool number = false;
        const int value = text->trimmed().toInt(&number, 10);
        const auto found = std::find(choices.begin(), choices.end(), value);
        if (number && found != choices.end()) return static_cast<int>(found - choices.begin());
        QStringList names;
        for (int c : choices) names << QString::number(c);
        refuse(key, *text, QStringLiteral("one of ") + names.join(QStringLiteral(", ")));
        return fallback;
    }

    QString text(const QString &key) { return raw(key).value_or(QString()); }

    // A window's place: both of "<group>x" and "<group>y", or neither; with both of
    // "<group>frameExtraWidth" and "<group>frameExtraHeight", or neither (an earlier version
    // kept none).
    std::optional<WindowPlace> place(const QString &group) {
        if (!pair(group + QStringLiteral("x"), group + QStringLiteral("y"))) return std::nullopt;
        const int limit = 1 << 20;
        WindowPlace place{QPoint(integer(group + QStringLiteral("x"), 0, -limit, limit),
                                 integer(group + QStringLiteral("y"), 0, -limit, limit)),
                          std::nullopt};
        const QString width = group + QStringLiteral("frameExtraWidth");
        const QString height = group + QStringLiteral("frameExtraHeight");
        if (pair(width, height))
            place.frame = QSize(integer(width, 0, 0, 1 << 12), integer(height, 0, 0, 1 << 12));
        return place;
    }

private:
    // Whether both keys are there; one without the other is refused.
    bool pair(const QString &first, const QString &second) {
        const bool one = settings_.contains(first);
        const bool other = settings_.contains(second);
        if (one != other) refuse(one ? second : first, QString(), QStringLiteral("a number"));
        return one && other;
    }

    // The value as a text; a value that is a list (it had commas) is refused. (A file read
    // in the run that wrote it gives back the values as they were written, numbers and
    // flags; from another run every value is a text.)
    std::optional<QString> raw(const QString &key) {
        if (!problem_.isEmpty() || !settings_.contains(key)) return std::nullopt;
        const QVariant value = settings_.value(key);
        if (value.typeId() != QMetaType::QStringList) return value.toString();
        refuse(key, value.toStringList().join(QLatin1Char(',')), QStringLiteral("one value"));
        return std::nullopt;
    }

    void refuse(const QString &key, const QString &value, const QString &expected) {
        if (problem_.isEmpty())
            problem_ = QStringLiteral("%1 is \"%2\" instead of %3").arg(key, value, expected);
    }

    const QSettings &settings_;
    QString problem_;
};

// Reads everything into `into`; the problem, if any.
QString readAll(const QSettings &file, Program &into) {
    Reader read(file);
    RememberedSettings &remembered = into.remembered;
    const int portItem =
        read.choice(QStringLiteral("port/number"), std::array<int, kDialogPorts>{1, 2, 3, 4}, -1);
    const int rateItem = read.choice(QStringLiteral("port/rate"), kDialogRates, -1);
    if (read.problem().isEmpty() && (portItem < 0) != (rateItem < 0))
        return QStringLiteral("the port is remembered without its rate, or the rate without it");
    if (portItem >= 0 && rateItem >= 0) {
        remembered.port = portItem + 1;
        remembered.baudRate = kDialogRates[rateItem];
    }

    std::array<int, kStepModes.size()> modes{};
    std::copy(kStepModes.begin(), kStepModes.end(), modes.begin());
    for (int m = 1; m <= kMotors; ++m) {
        const QString group = motorGroup(m);
        MotorState &motor = into.motors[m - 1];
        MoveValues &move = motor.move;
        move.steps = read.integer(group + QStringLiteral("steps"), move.steps);
        move.slewRate = read.integer(group + QStringLiteral("slewRate"), move.slewRate);
        move.accel = read.integer(group + QStringLiteral("accel"), move.accel);
        move.firstRate = read.integer(group + QStringLiteral("firstRate"), move.firstRate);

        MotorWindowFields &fields = remembered.motorWindows[m - 1];
        fields.jogSpeed = read.integer(group + QStringLiteral("jogSpeed"), fields.jogSpeed);
        fields.absolutePosition =
            read.integer(group + QStringLiteral("absolutePosition"), fields.absolutePosition);
        fields.stepModeItem =
            read.choice(group + QStringLiteral("stepMode"), modes, fields.stepModeItem);
        fields.homeSeek = read.flag(group + QStringLiteral("homeSeek"), fields.homeSeek);
        fields.live = read.flag(group + QStringLiteral("live"), fields.live);
        fields.place = read.place(group);
        // The mode value the next mode change starts from is the one the fields show.
        motor.modeValue = kStepModes[fields.stepModeItem] | (fields.homeSeek ? kHomeBit : 0);
    }
    for (int a = 0; a < kAddresses; ++a)
        into.RequestedCurrent[a] =
            read.integer(QStringLiteral("currents/address%1").arg(a), into.RequestedCurrent[a]);
    remembered.mainWindowPlace = read.place(QStringLiteral("mainWindow/"));
    remembered.profileFolder = read.text(QStringLiteral("profiles/folder"));
    return read.problem();
}

void writeAll(QSettings &file, const Program &from) {
    const RememberedSettings &remembered = from.remembered;
    file.clear();
    if (remembered.port > 0) {
        file.setValue(QStringLiteral("port/number"), remembered.port);
        file.setValue(QStringLiteral("port/rate"), remembered.baudRate);
    }
    const auto writePlace = [&file](const QString &group, const std::optional<WindowPlace> &place) {
        if (!place) return;
        file.setValue(group + QStringLiteral("x"), place->corner.x());
        file.setValue(group + QStringLiteral("y"), place->corner.y());
        if (!place->frame) return;
        file.setValue(group + QStringLiteral("frameExtraWidth"), place->frame->width());
        file.setValue(group + QStringLiteral("frameExtraHeight"), place->frame->height());
    };
    for (int m = 1; m <= kMotors; ++m) {
        const QString group = motorGroup(m);
        const MoveValues &move = from.motors[m - 1].move;
        file.setValue(group + QStringLiteral("steps"), move.steps);
        file.setValue(group + QStringLiteral("slewRate"), move.slewRate);
        file.setValue(group + QStringLiteral("accel"), move.accel);
        file.setValue(group + QStringLiteral("firstRate"), move.firstRate);
        const MotorWindowFields &fields = remembered.motorWindows[m - 1];
        file.setValue(group + QStringLiteral("jogSpeed"), fields.jogSpeed);
        file.setValue(group + QStringLiteral("absolutePosition"), fields.absolutePosition);
        file.setValue(group + QStringLiteral("stepMode"), kStepModes[fields.stepModeItem]);
        file.setValue(group + QStringLiteral("homeSeek"), fields.homeSeek);
        file.setValue(group + QStringLiteral("live"), fields.live);
        writePlace(group, fields.place);
    }
    for (int a = 0; a < kAddresses; ++a)
        file.setValue(QStringLiteral("currents/address%1").arg(a), from.RequestedCurrent[a]);
    writePlace(QStringLiteral("mainWindow/"), remembered.mainWindowPlace);
    if (!remembered.profileFolder.isEmpty())
        file.setValue(QStringLiteral("profiles/folder"), remembered.profileFolder);
    file.sync();
}

// Copies into `to` what the settings file holds (a motor's FIFO room and segment table are
// not among it).
void takeSettings(const Program &from, Program &to) {
    for (int m = 0; m < kMotors; ++m) {
        to.motors[m].move = from.motors[m].move;
        to.motors[m].modeValue = from.motors[m].modeValue;
    }
    to.RequestedCurrent = from.RequestedCurrent;
    to.remembered = from.remembered;
}

}  // namespace

QString settingsPath() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (folder.isEmpty()) folder = QDir::homePath() + QStringLiteral("/.config");
    return folder + QStringLiteral("/corvexlink/DemoCorvexLink.conf");
}

void restoreSettings() {
    FileState &state = fileState();
    state = FileState{};
    const QString path = settingsPath();
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink()) return;

    const QString shown = QDir::toNativeSeparators(path);
    QSettings file(path, QSettings::IniFormat);
    if (!info.isFile() || !info.isReadable() || file.status() == QSettings::AccessError) {
        state.readable = false;
        state.problem = QStringLiteral("The settings file %1 cannot be read. The program starts "
                                       "with its default settings and leaves the file as it is.")
                            .arg(shown);
        return;
    }
    Program read;
    // The sections are parsed when their keys are first asked for, and only then does a
    // line that is no setting show.
    file.allKeys();
    QString damage = file.status() == QSettings::FormatError
                         ? QStringLiteral("it is not a settings file of this program")
                         : readAll(file, read);
    if (damage.isEmpty()) {
        takeSettings(read, program());
        return;
    }
    // The damaged file is kept for a look, under another name; the next save writes a
    // sound one in its place.
    const QString kept = path + QStringLiteral(".damaged");
    QFile::remove(kept);
    const bool setAside = QFile::rename(path, kept);
    state.readable = setAside;
    state.problem =
        QStringLiteral("The settings file %1 is damaged: %2. The program starts with its default "
                       "settings. %3")
            .arg(shown, damage,
                 setAside ? QStringLiteral("The damaged file is kept as %1.")
                                .arg(QDir::toNativeSeparators(kept))
                          : QStringLiteral("The file is left as it is."));
}

void reportSettingsProblem() {
    FileState &state = fileState();
    if (state.problem.isEmpty()) return;
    const QString problem = state.problem;
    state.problem.clear();
    errorBox(kTitle, problem);
}

void saveSettings() {
    FileState &state = fileState();
    if (!state.readable) return;
    const QString path = settingsPath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSettings file(path, QSettings::IniFormat);
    writeAll(file, program());
    if (file.status() == QSettings::NoError || state.writeReported) return;
    state.writeReported = true;
    errorBox(kTitle, QStringLiteral("The settings cannot be written to %1; what was changed in "
                                    "this run will not be remembered.")
                         .arg(QDir::toNativeSeparators(path)));
}

void rememberPortAndRate() {
    const int port = ZelmarGetPort();
    const int rate = ZelmarGetBaudRate();
    if (port < 1 || port > kDialogPorts ||
        std::find(kDialogRates.begin(), kDialogRates.end(), rate) == kDialogRates.end())
        return;
    program().remembered.port = port;
    program().remembered.baudRate = rate;
    saveSettings();
}

void restoreDefaultSettings() {
    takeSettings(Program{}, program());
    FileState &state = fileState();
    if (!state.readable) return;  // a file the program could not read is not its to remove
    QFile::remove(settingsPath());
}

}  // namespace demo
