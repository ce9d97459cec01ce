#pragma once
// Catches what the process writes to its standard error while it lives, to
// show that a library prints nothing.

#include <QByteArray>
#include <QTemporaryFile>
#include <cstdio>
#include <unistd.h>

class StderrCapture
{
  public:
    StderrCapture()
    {
        if (!m_file.open())
            return;
        std::fflush(stderr);
        m_saved = ::dup(STDERR_FILENO);
        ::dup2(m_file.handle(), STDERR_FILENO);
    }

    ~StderrCapture() { restore(); }
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;

    // Everything written so far; stops the capture.
    QByteArray text()
    {
        restore();
        m_file.seek(0);
        return m_file.readAll();
    }

  private:
    void restore()
    {
        if (m_saved < 0)
            return;
        std::fflush(stderr);
        ::dup2(m_saved, STDERR_FILENO);
        ::close(m_saved);
        m_saved = -1;
    }

    QTemporaryFile m_file;
    int m_saved = -1;
};
