#include "PrintSystemProbe.h"

#include <QElapsedTimer>

#include <cups/cups.h>

#include <memory>

namespace {

QString printSystemSilent() { return QStringLiteral("打印系统没有响应"); }

struct HttpCloser
{
    void operator()(http_t *http) const { httpClose(http); }
};

// libcups asks this when the wait runs out; 0 tells it to give up.
int giveUp(http_t *, void *timedOut)
{
    *static_cast<bool *>(timedOut) = true;
    return 0;
}

} // namespace

QString printSystemSilence()
{
    QElapsedTimer clock;
    clock.start();
    const std::unique_ptr<http_t, HttpCloser> http(httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC,
                                                                cupsEncryption(), 1, printSystemPatienceMs, nullptr));
    // A refused connection comes back at once; only a connection never taken uses up the wait.
    if (!http)
        return clock.elapsed() >= printSystemPatienceMs / 2 ? printSystemSilent() : QString();

    bool timedOut = false;
    const double secondsLeft = qMax<qint64>(printSystemPatienceMs - clock.elapsed(), 100) / 1000.0;
    httpSetTimeout(http.get(), secondsLeft, giveUp, &timedOut);
    // The smallest question every CUPS server answers; any answer, an error included, will do.
    ipp_t *request = ippNewRequest(IPP_OP_CUPS_GET_DEFAULT);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr, "printer-name");
    ippDelete(cupsDoRequest(http.get(), request, "/"));
    return timedOut ? printSystemSilent() : QString();
}
