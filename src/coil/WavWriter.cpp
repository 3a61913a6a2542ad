#include "coil/WavWriter.h"

#include <sndfile.h>

WavWriter::~WavWriter()
{
    close();
}

bool WavWriter::open(const std::string& path, int sampleRate, int channels)
{
    close();
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    m_file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (m_file == nullptr) {
        m_error = "cannot write " + path + ": " + sf_strerror(nullptr);
        return false;
    }
    // Samples at exactly full scale stay at the top instead of wrapping.
    sf_command(m_file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    m_path = path;
    m_frames = 0;
    m_error.clear();
    return true;
}

bool WavWriter::write(const float* samples, std::size_t frames)
{
    if (m_file == nullptr) {
        m_error = "no file is open";
        return false;
    }
    const sf_count_t written = sf_writef_float(m_file, samples, static_cast<sf_count_t>(frames));
    if (written > 0) {
        m_frames += static_cast<std::uint64_t>(written);
    }
    if (written != static_cast<sf_count_t>(frames)) {
        m_error = "cannot write " + m_path + ": " + sf_strerror(m_file);
        return false;
    }
    return true;
}

bool WavWriter::close()
{
    if (m_file == nullptr) {
        return true;
    }
    const int status = sf_close(m_file);
    m_file = nullptr;
    if (status != 0) {
        m_error = "cannot finish " + m_path + ": " + sf_error_number(status);
        return false;
    }
    return true;
}
