#include "recordingloader.h"

QString RecordingLoader::Result::message() const
{
    return error;
}

RecordingLoader::RecordingLoader(QObject *parent)
    : QObject(parent)
{
    qRegisterMetaType<RecordingLoader::Result>();
}

RecordingLoader::~RecordingLoader()
{
    stop();
}

void RecordingLoader::stop()
{
    if (m_cancel)
        *m_cancel = true;
    if (m_thread.joinable())
        m_thread.join();
}

void RecordingLoader::cancel()
{
    if (m_cancel)
        *m_cancel = true;
}

bool RecordingLoader::isLoading() const
{
    return m_thread.joinable();
}

void RecordingLoader::load(const QString &) { }

RecordingLoader::Result loadRecording(const QString &, const std::function<bool(int)> &)
{
    RecordingLoader::Result r;
    r.error = QStringLiteral("not yet");
    return r;
}
