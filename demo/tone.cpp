// SPDX-License-Identifier: MIT
#include "tone.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QBuffer>
#include <QCoreApplication>
#include <QMediaDevices>

namespace demo {

std::vector<std::int16_t> toneSamples(int hertz, int milliseconds, int sampleRate) {
    if (hertz <= 0 || milliseconds <= 0 || sampleRate <= 0) return {};
    const auto count =
        static_cast<std::size_t>(static_cast<long long>(sampleRate) * milliseconds / 1000);
    const std::size_t ramp =
        std::min<std::size_t>(static_cast<std::size_t>(sampleRate / 500), count / 2);
    constexpr double kAmplitude = 0.5 * 32767;
    std::vector<std::int16_t> samples(count);
    for (std::size_t i = 0; i < count; ++i) {
        double level = kAmplitude *
                       std::sin(2 * std::numbers::pi * hertz * static_cast<double>(i) / sampleRate);
        // A raised-cosine rise over the first `ramp` samples and the same fall over the last.
        const std::size_t edge = std::min(i, count - 1 - i);
        if (edge < ramp)
            level *= 0.5 - 0.5 * std::cos(std::numbers::pi * static_cast<double>(edge) / ramp);
        samples[i] = static_cast<std::int16_t>(std::lround(level));
    }
    return samples;
}

bool playTone(int hertz, int milliseconds) {
    const std::vector<std::int16_t> samples = toneSamples(hertz, milliseconds);
    if (samples.empty()) return false;
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull()) return false;
    QAudioFormat format;
    format.setSampleRate(kToneSampleRate);
    format.setChannelCount(1);
    format.setSampleFormat(QAudioFormat::Int16);
    if (!device.isFormatSupported(format)) return false;

    // Sink and samples live until the sink has played them, then go together (the sink is
    // the buffer's child).
    auto *buffer = new QBuffer(QCoreApplication::instance());
    buffer->setData(reinterpret_cast<const char *>(samples.data()),
                    static_cast<qsizetype>(samples.size() * sizeof(std::int16_t)));
    buffer->open(QIODevice::ReadOnly);
    auto *sink = new QAudioSink(device, format, buffer);
    const auto release = [sink, buffer] {
        QObject::disconnect(sink, nullptr, buffer, nullptr);
        sink->stop();
        buffer->deleteLater();
    };
    QObject::connect(sink, &QAudioSink::stateChanged, buffer, [release](QAudio::State state) {
        if (state == QAudio::IdleState || state == QAudio::StoppedState) release();
    });
    sink->start(buffer);
    if (sink->error() == QAudio::NoError) return true;
    release();
    return false;
}

}  // namespace demo
