#pragma once
// Reads the font configuration on another core while QApplication connects to the
// display: the first text the window lays out would otherwise wait for it, a fifth of
// the time to the first picture. Construct it first thing in main() and call finish()
// once QApplication exists, before any widget.

#include <thread>

class FontWarmUp {
public:
    FontWarmUp();
    ~FontWarmUp() { finish(); }
    FontWarmUp(const FontWarmUp&) = delete;
    FontWarmUp& operator=(const FontWarmUp&) = delete;

    void finish()
    {
        if (m_thread.joinable())
            m_thread.join();
    }

private:
    std::thread m_thread;
};
