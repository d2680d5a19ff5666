#pragma once

// A local stand-in for the Google Maps JavaScript API. Requests for the Maps script are
// redirected to a scheme of our own, whose script records what the page asks of it (centre,
// zoom, map type, markers) in window.standInRecord and draws the markers as dots, so that
// nothing leaves the machine.

#include <QBuffer>
#include <QMutex>
#include <QPointer>
#include <QUrlQuery>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>

class MapsStandIn : public QWebEngineUrlSchemeHandler
{
public:
    enum class Mode {
        Answer, // serve the stand-in API
        Unreachable, // fail the request, as without a network
        RefuseKey, // load, then report a refused key as Google does
        Silent // never answer
    };

    // Before the application object exists.
    static void registerScheme()
    {
        QWebEngineUrlScheme scheme("standin");
        scheme.setSyntax(QWebEngineUrlScheme::Syntax::Host);
        scheme.setFlags(QWebEngineUrlScheme::SecureScheme | QWebEngineUrlScheme::CorsEnabled);
        QWebEngineUrlScheme::registerScheme(scheme);
    }

    explicit MapsStandIn(QObject *parent = nullptr)
        : QWebEngineUrlSchemeHandler(parent), m_interceptor(this)
    {
    }

    void install(QWebEngineProfile *profile)
    {
        if (!profile->urlSchemeHandler("standin"))
            profile->installUrlSchemeHandler("standin", this);
        profile->setUrlRequestInterceptor(&m_interceptor);
    }

    Mode mode = Mode::Answer;

    // Every Maps script address the page asked for, as it asked.
    QList<QUrl> scriptRequests() const
    {
        QMutexLocker lock(&m_mutex);
        return m_requests;
    }
    void clear()
    {
        QMutexLocker lock(&m_mutex);
        m_requests.clear();
    }

    void requestStarted(QWebEngineUrlRequestJob *job) override
    {
        if (mode == Mode::Unreachable) {
            job->fail(QWebEngineUrlRequestJob::RequestFailed);
            return;
        }
        if (mode == Mode::Silent) {
            m_held << job; // answered never; the engine drops it with the page
            return;
        }
        const QString callback
            = QUrlQuery(job->requestUrl()).queryItemValue(QStringLiteral("callback"));
        QByteArray js = script();
        js.replace("@CALLBACK@", callback.toUtf8());
        js.replace("@REFUSE@", mode == Mode::RefuseKey ? "true" : "false");
        auto *buffer = new QBuffer(job);
        buffer->setData(js);
        job->reply("text/javascript", buffer);
    }

private:
    class Interceptor : public QWebEngineUrlRequestInterceptor
    {
    public:
        explicit Interceptor(MapsStandIn *owner) : m_owner(owner) { }
        void interceptRequest(QWebEngineUrlRequestInfo &info) override
        {
            const QUrl url = info.requestUrl();
            if (url.host() == QLatin1String("maps.googleapis.com")) {
                {
                    QMutexLocker lock(&m_owner->m_mutex);
                    m_owner->m_requests << url;
                }
                QUrl to;
                to.setScheme(QStringLiteral("standin"));
                to.setHost(QStringLiteral("maps"));
                to.setPath(url.path());
                to.setQuery(url.query());
                info.redirect(to);
                return;
            }
            // Nothing else may leave the machine.
            if (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"))
                info.block(true);
        }

    private:
        MapsStandIn *m_owner;
    };

    static QByteArray script()
    {
        return R"JS(
(function () {
  var record = { maps: [], markers: [] };
  window.standInRecord = record;
  function LatLng(lat, lng) { this.lat = function () { return lat; }; this.lng = function () { return lng; }; }
  function plain(p) { return (p instanceof LatLng) ? { lat: p.lat(), lng: p.lng() } : { lat: p.lat, lng: p.lng }; }
  function Map(div, options) {
    this.options = options;
    record.maps.push({ center: plain(options.center), zoom: options.zoom,
      mapTypeId: options.mapTypeId === undefined ? null : options.mapTypeId });
    div.style.background = '#dfe8d8';
    var canvas = document.createElement('canvas');
    canvas.width = div.clientWidth; canvas.height = div.clientHeight;
    canvas.style.display = 'block';
    div.appendChild(canvas);
    var label = document.createElement('div');
    label.textContent = 'Maps stand-in: centre ' + plain(options.center).lat + ', ' +
      plain(options.center).lng + ', zoom ' + options.zoom + ', ' + options.mapTypeId;
    label.style.cssText = 'position:absolute;left:8px;bottom:8px;font:12px sans-serif;color:#405040';
    div.appendChild(label);
    this.canvas = canvas;
  }
  Map.prototype.dot = function (pos) {
    var c = plain(this.options.center);
    var scale = 256 * Math.pow(2, this.options.zoom) / 360;
    var x = this.canvas.width / 2 + (pos.lng - c.lng) * scale;
    var y = this.canvas.height / 2 - (pos.lat - c.lat) * scale;
    var g = this.canvas.getContext('2d');
    g.fillStyle = '#d03030';
    g.beginPath(); g.arc(x, y, 5, 0, 2 * Math.PI); g.fill();
  };
  function Marker(options) {
    var p = plain(options.position);
    record.markers.push({ lat: p.lat, lng: p.lng, title: options.title === undefined ? null : options.title,
      icon: options.icon === undefined ? null : options.icon });
    if (options.map) options.map.dot(p);
  }
  window.google = { maps: { Map: Map, Marker: Marker, LatLng: LatLng,
    MapTypeId: { ROADMAP: 'roadmap', SATELLITE: 'satellite', HYBRID: 'hybrid', TERRAIN: 'terrain' } } };
  if (window['@CALLBACK@']) window['@CALLBACK@']();
  // Google loads, then reports a key it refuses.
  if (@REFUSE@) setTimeout(function () { window.gm_authFailure(); }, 0);
})();
)JS";
    }

    Interceptor m_interceptor;
    mutable QMutex m_mutex;
    QList<QUrl> m_requests;
    QList<QPointer<QWebEngineUrlRequestJob>> m_held;
};
