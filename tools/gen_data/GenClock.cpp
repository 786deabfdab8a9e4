#include "GenClock.h"

#include <cstdio>

namespace {
struct TParts {
    int y, mo, d, h, mi, s;
};

TParts Split(TStamp t) {
    int y = 0, mo = 0, d = 0;
    DateOf(t).getDate(&y, &mo, &d);
    const int sec = SecondOfDay(t);
    return {y, mo, d, sec / 3600, sec / 60 % 60, sec % 60};
}
}  // namespace

QString StampText(TStamp t) {
    const TParts p = Split(t);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", p.y, p.mo, p.d, p.h, p.mi, p.s);
    return QString::fromLatin1(buf);
}

QString DayCode(TStamp t) {
    const TParts p = Split(t);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d", p.y, p.mo, p.d);
    return QString::fromLatin1(buf);
}

QString MinuteText(TStamp t) {
    const TParts p = Split(t);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d", p.y, p.mo, p.d, p.h, p.mi);
    return QString::fromLatin1(buf);
}
