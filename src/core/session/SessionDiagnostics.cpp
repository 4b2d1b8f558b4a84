#include "session/SessionDiagnostics.h"

#include "session/GetAlertData.h"
#include "support/DateTime.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimeZone>

namespace kestrova {

namespace {
QString Text(const std::string &text)
{
    return QString::fromStdString(text);
}

// A local date-time of the session's clock as ISO 8601 UTC ("2026-12-08T14:03:07Z"); null for 0.
QJsonValue UtcText(TDateTime local)
{
    if (local == 0)
        return QJsonValue::Null;
    const int64_t unix = DateTimeToUnix(LocalToUtc(local));
    return QDateTime::fromSecsSinceEpoch(unix, QTimeZone::utc())
        .toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss'Z'"));
}

// Milliseconds from then to now; null when then is 0.
QJsonValue AgeMs(TDateTime then, TDateTime now)
{
    if (then == 0)
        return QJsonValue::Null;
    return static_cast<qint64>(std::max(0.0, (now - then) * 86400000.0) + 0.5);
}

QString LoginText(const TAllAlertsConnection &session)
{
    if (session.DisconnectedForGood())
        return "logged out for good";
    switch (session.LoginState()) {
    case lsUnknown:
        break;
    case lsGood:
        return "good";
    case lsAnotherUser:
        return "another user";
    case lsBadUsername:
        return "bad username";
    case lsBadPassword:
        return "bad password";
    case lsRequirePayment:
        return "require payment";
    }
    return "unknown";
}

QJsonValue ProxyText(const TConnectionSettings &s)
{
    if (!s.SocksServer.empty() && (s.SocksLevel == 4 || s.SocksLevel == 5))
        return QStringLiteral("socks%1 %2:%3")
            .arg(s.SocksLevel)
            .arg(Text(s.SocksServer))
            .arg(s.SocksPort);
    if (!s.HttpProxyHost.empty())
        return QStringLiteral("http %1:%2").arg(Text(s.HttpProxyHost)).arg(s.HttpProxyPort);
    return QJsonValue::Null;
}

QJsonArray Windows(const TAllAlertsConnection &session)
{
    QJsonArray windows;
    for (const TAlertWindowConnection *window : session.Windows()) {
        QJsonObject w;
        w["id"] = Text(window->WindowId());
        w["name"] = Text(window->WindowName());
        w["alerts_held"] = window->AlertsHeld
            ? QJsonValue(static_cast<qint64>(window->AlertsHeld()))
            : QJsonValue(QJsonValue::Null);
        w["subscribed"] = window->SubscriptionConfirmed();
        windows.append(w);
    }
    return windows;
}
} // namespace

std::string LinkStateText(const TAllAlertsConnection &session)
{
    const IRequestChannel *link = session.Link();
    if (!link)
        return "idle";
    switch (link->State()) {
    case TChannelState::New:
        return !link->ConnectStarted() && session.ConnectNotBefore() > session.Clock().Now()
            ? "waiting"
            : "connecting";
    case TChannelState::Connected:
        return "connected";
    case TChannelState::Closed:
        break;
    }
    return "closed";
}

std::string SessionDiagnosticsJson(const TAllAlertsConnection &session, int32_t listEditsWaiting)
{
    const TDateTime now = session.Clock().Now();
    const TConnectionSettings settings = session.ConnectionSettings();
    QJsonObject o;
    o["link"] = Text(LinkStateText(session));
    o["server"] = Text(settings.UseTunnel ? settings.TunnelUrl : settings.ServerAddress);
    o["transport"] = settings.UseTunnel ? "http tunnel" : "tcp";
    o["proxy"] = ProxyText(settings);
    o["connected_since"] = UtcText(session.ConnectedSince());
    o["user"] = Text(session.Username());
    o["login"] = LoginText(session);
    o["last_round_trip_ms"] = session.LastRoundTripMs() < 0
        ? QJsonValue(QJsonValue::Null)
        : QJsonValue(static_cast<qint64>(session.LastRoundTripMs()));
    o["last_message_age_ms"] = AgeMs(session.LastReplyTime(), now);
    o["bytes_in"] = static_cast<qint64>(session.BytesReceived());
    o["bytes_out"] = static_cast<qint64>(session.BytesSent());
    o["alerts_received"] = static_cast<qint64>(session.AlertsReceived());
    o["reconnects"]
        = static_cast<qint64>(session.LinksCreated() > 0 ? session.LinksCreated() - 1 : 0);
    const double waitMs = (session.ConnectNotBefore() - now) * 86400000.0;
    o["next_attempt_in_ms"] = waitMs > 0 && session.HasLink() && !session.Link()->ConnectStarted()
        ? QJsonValue(static_cast<qint64>(waitMs + 0.5))
        : QJsonValue(QJsonValue::Null);
    QJsonArray ends;
    for (const auto &end : session.RecentLinkEnds())
        ends.append(QJsonObject { { "time", UtcText(end.Time) }, { "reason", Text(end.Reason) } });
    o["recent_disconnects"] = ends;
    o["list_edits_waiting"]
        = listEditsWaiting < 0 ? QJsonValue(QJsonValue::Null) : QJsonValue(listEditsWaiting);
    o["windows"] = Windows(session);
    return QJsonDocument(o).toJson(QJsonDocument::Compact).toStdString();
}

} // namespace kestrova
