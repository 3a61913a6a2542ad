#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct sf_private_tag;

// A WAV file of 16-bit samples, mono unless asked for more channels,
// written through libsndfile. Samples are
// given as floats from -1.0 to 1.0 (1.0 is full scale; beyond is clipped).
// One thread at a time.
class WavWriter {
public:
    WavWriter() = default;
    ~WavWriter();
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    // Creates (or replaces) `path`. False with the reason in error() when it
    // cannot be written.
    bool open(const std::string& path, int sampleRate, int channels = 1);
    // `frames` frames, each a sample of every channel in turn. False with the
    // reason in error() when not all samples were written.
    bool write(const float* samples, std::size_t frames);
    // Finishes the file: its header then gives the length. Also done by the
    // destructor. False when finishing failed.
    bool close();

    bool isOpen() const { return m_file != nullptr; }
    std::uint64_t framesWritten() const { return m_frames; }
    const std::string& error() const { return m_error; }

private:
    sf_private_tag* m_file = nullptr;
    std::string m_path;
    std::uint64_t m_frames = 0;
    std::string m_error;
};
