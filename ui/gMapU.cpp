#include "gMapU.h"

#include "KestrunU.h"
#include "TApplication.h"
#include "qzConfig.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QUrlQuery>
#include <QVBoxLayout>

#include <cmath>

TgMapF *gMapF = nullptr;

namespace {
const char *const kTitlePrefix = "kestrun-map:";
constexpr size_t kMarkersPerCall = 20000;

// JSON that is also safe inside a <script> element.
QString scriptJson(const QJsonDocument &doc)
{
    return QString::fromUtf8(doc.toJson(QJsonDocument::Compact))
        .replace(QLatin1Char('<'), QLatin1String("\\u003c"));
}

double finiteOrZero(double v)
{
    return std::isfinite(v) ? v : 0.0;
}

const char *mapTypeId(TWebGMaps::TMapType t)
{
    switch (t) {
    case TWebGMaps::TMapType::Roadmap:
        return "roadmap";
    case TWebGMaps::TMapType::Satellite:
        return "satellite";
    case TWebGMaps::TMapType::Hybrid:
        return "hybrid";
    case TWebGMaps::TMapType::Terrain:
        return "terrain";
    case TWebGMaps::TMapType::Default:
        break;
    }
    return "";
}

// The page: options are data, never code; the markers arrive by kestrunAddMarkers once the
// page has loaded, so that no page outgrows what a web view takes in one piece.
const char *const kPage = R"HTML(<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>kestrun-map:loading</title>
<link rel="icon" href="data:,">
<style>
html, body { height: 100%; margin: 0; overflow: hidden; }
#map { position: absolute; left: 0; top: 0; right: 0; bottom: 0; overflow: hidden; }
#msg { display: none; position: absolute; left: 0; top: 0; right: 0; bottom: 0;
  align-items: center; justify-content: center; text-align: center; padding: 0 48px;
  font: 15px Tahoma, "Liberation Sans", "DejaVu Sans", sans-serif; color: #303030;
  background: #f2f2f2; line-height: 1.5; }
</style></head>
<body><div id="map"></div><div id="msg"></div>
<script>
var kestrunOptions = @OPTIONS@;
var kestrunMarkers = [];
var kestrunDataDone = false, kestrunApiReady = false, kestrunFailed = false;
var kestrunMap = null;
function kestrunNumber(v) { return (typeof v === 'number' && isFinite(v)) ? v : 0; }
function kestrunFail(text) {
  if (kestrunFailed) return;
  kestrunFailed = true;
  var m = document.getElementById('msg');
  m.textContent = text;
  m.style.display = 'flex';
  document.title = 'kestrun-map:failed';
}
function kestrunAddMarkers(list) {
  for (var i = 0; i < list.length; ++i) kestrunMarkers.push(list[i]);
}
function kestrunDone() { kestrunDataDone = true; kestrunStart(); }
function kestrunReady() { kestrunApiReady = true; kestrunStart(); }
function kestrunStart() {
  if (!kestrunApiReady || !kestrunDataDone || kestrunFailed || kestrunMap) return;
  try {
    var o = kestrunOptions;
    var settings = { center: { lat: kestrunNumber(o.lat), lng: kestrunNumber(o.lng) }, zoom: o.zoom };
    if (o.mapType) settings.mapTypeId = o.mapType;
    kestrunMap = new google.maps.Map(document.getElementById('map'), settings);
    for (var i = 0; i < kestrunMarkers.length; ++i) {
      var k = kestrunMarkers[i];
      new google.maps.Marker({ position: { lat: kestrunNumber(k[0]), lng: kestrunNumber(k[1]) },
        map: kestrunMap, title: String(k[2]) });
    }
    document.title = 'kestrun-map:shown';
  } catch (e) {
    kestrunFail(o.text.broken);
  }
}
window.gm_authFailure = function () { kestrunFail(kestrunOptions.text.refused); };
(function () {
  var o = kestrunOptions;
  if (!o.script) { kestrunFail(o.text.noKey); return; }
  var s = document.createElement('script');
  s.src = o.script;
  s.async = true;
  s.onerror = function () { kestrunFail(o.text.unreachable); };
  document.head.appendChild(s);
  setTimeout(function () { if (!kestrunApiReady) kestrunFail(o.text.noAnswer); }, o.timeout);
})();
</script></body></html>
)HTML";
} // namespace

double AddMetersToLatitude(double latitude, double meters)
{
    const double k = 1 / ((0.017453292519943295) * 6378.137) / 1000;
    return latitude + meters * k;
}

double AddMetersToLongitude(double longitude, double latitude, double meters)
{
    const double k = 1 / ((0.017453292519943295) * 6378.137) / 1000;
    return longitude + (meters * k) / std::cos(latitude * 0.017453292519943295);
}

// --- the map component ---------------------------------------------------------------------

TWebGMaps::TWebGMaps(QWidget *parent) : QWebEngineView(parent)
{
    connect(this, &QWebEngineView::loadFinished, this, &TWebGMaps::pageLoaded);
    connect(this, &QWebEngineView::titleChanged, this, &TWebGMaps::titleChange);
}

void TWebGMaps::AddMarker(double latitude, double longitude, const QString &title)
{
    m_markers.push_back({latitude, longitude, title});
}

bool TWebGMaps::isUsableKey(const QString &key)
{
    static const QRegularExpression re(QStringLiteral("^[A-Za-z0-9_-]+$"));
    return re.match(key).hasMatch();
}

QUrl TWebGMaps::scriptUrl(const QString &key, const QString &version, const QString &callback)
{
    QUrl url(QStringLiteral("https://maps.googleapis.com/maps/api/js"));
    QUrlQuery q;
    q.addQueryItem(QStringLiteral("v"), QString::fromLatin1(QUrl::toPercentEncoding(version)));
    q.addQueryItem(QStringLiteral("key"), QString::fromLatin1(QUrl::toPercentEncoding(key)));
    q.addQueryItem(QStringLiteral("callback"), callback);
    url.setQuery(q);
    return url;
}

QString TWebGMaps::pageHtml() const
{
    QJsonObject text;
    text[QStringLiteral("noKey")] = QStringLiteral(
        "The map cannot be shown: this copy of Kestrun was built without a Google Maps API key.");
    text[QStringLiteral("unreachable")] = QStringLiteral(
        "The map cannot be shown: Google Maps could not be reached. Check the internet "
        "connection, then close this window and show the scans on the map again.");
    text[QStringLiteral("refused")] = QStringLiteral(
        "The map cannot be shown: Google Maps did not accept the API key of this program.");
    text[QStringLiteral("noAnswer")]
        = QStringLiteral("The map cannot be shown: Google Maps did not answer in time. Close this "
                         "window and try again later.");
    text[QStringLiteral("broken")]
        = QStringLiteral("The map cannot be shown: Google Maps could not draw the map.");

    QJsonObject o;
    o[QStringLiteral("lat")] = finiteOrZero(DefaultLatitude);
    o[QStringLiteral("lng")] = finiteOrZero(DefaultLongitude);
    o[QStringLiteral("zoom")] = Zoom;
    o[QStringLiteral("mapType")] = QLatin1String(mapTypeId(MapType));
    o[QStringLiteral("timeout")] = LoadTimeoutMs;
    o[QStringLiteral("script")] = isUsableKey(APIKey)
        ? scriptUrl(APIKey, APIVersion, QStringLiteral("kestrunReady")).toString(QUrl::FullyEncoded)
        : QString();
    o[QStringLiteral("text")] = text;
    return QString::fromLatin1(kPage).replace(
        QLatin1String("@OPTIONS@"), scriptJson(QJsonDocument(o)));
}

void TWebGMaps::LaunchMap()
{
    setState(TLoadState::Loading);
    // A base address of its own, so that nothing of the page resolves to a real site.
    setHtml(pageHtml(), QUrl(QStringLiteral("https://kestrun-map.invalid/")));
}

void TWebGMaps::pageLoaded(bool ok)
{
    if (!ok || m_state != TLoadState::Loading)
        return;
    for (size_t i = 0; i < m_markers.size(); i += kMarkersPerCall) {
        QJsonArray chunk;
        for (size_t j = i; j < std::min(m_markers.size(), i + kMarkersPerCall); ++j)
            chunk.append(QJsonArray {finiteOrZero(m_markers[j].Latitude),
                finiteOrZero(m_markers[j].Longitude), m_markers[j].Title});
        page()->runJavaScript(
            QStringLiteral("kestrunAddMarkers(%1);").arg(scriptJson(QJsonDocument(chunk))));
    }
    // Scripts run in the order sent, so the page starts once it holds every marker.
    page()->runJavaScript(QStringLiteral("kestrunDone();"));
}

void TWebGMaps::titleChange(const QString &title)
{
    if (!title.startsWith(QLatin1String(kTitlePrefix)))
        return;
    const QStringView state = QStringView(title).mid(qstrlen(kTitlePrefix));
    if (state == QLatin1String("shown"))
        setState(TLoadState::Shown);
    else if (state == QLatin1String("failed"))
        setState(TLoadState::Failed);
}

void TWebGMaps::setState(TLoadState state)
{
    if (m_state == state)
        return;
    m_state = state;
    emit loadStateChanged(state);
}

// --- the window ----------------------------------------------------------------------------

TgMapF::TgMapF(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("gMapF"));
    setWindowTitle(QStringLiteral("Scan Map"));
    setFont(windowFont(QStringLiteral("Tahoma"), 13));
    resize(877, 471);
    setModal(true);

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    pnMapTop = new QLabel(this);
    pnMapTop->setObjectName(QStringLiteral("pnMapTop"));
    pnMapTop->setFixedHeight(41);
    pnMapTop->setAlignment(Qt::AlignCenter);
    auto *top = new QHBoxLayout(pnMapTop);
    top->setContentsMargins(8, 6, 8, 6);
    top->addStretch(1);
    Button1 = new QPushButton(QStringLiteral("Close"), pnMapTop);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setAutoDefault(false);
    Button1->setFixedWidth(90);
    top->addWidget(Button1);
    outer->addWidget(pnMapTop);

    gMap = new TWebGMaps(this);
    gMap->setObjectName(QStringLiteral("gMap"));
    outer->addWidget(gMap, 1);

    Panel13 = new QWidget(this);
    Panel13->setObjectName(QStringLiteral("Panel13"));
    Panel13->setFixedHeight(41);
    outer->addWidget(Panel13);

    setStyleSheet(QStringLiteral("#pnMapTop, #Panel13 { background: #f0f0f0; }"
                                 "#pnMapTop { border-bottom: 1px solid #d0d0d0; }"
                                 "#Panel13 { border-top: 1px solid #d0d0d0; }"));
    connect(Button1, &QPushButton::clicked, this, &TgMapF::Button1Click);
    FormCreate();
}

void TgMapF::FormCreate()
{
    FirstShow = true;
    gMap->APIKey = QStringLiteral(KESTRUN_MAPS_KEY);
}

void TgMapF::showEvent(QShowEvent *e)
{
    QDialog::showEvent(e);
    if (!e->spontaneous())
        FormShow();
    // Escape closes the window even while the web page has the keyboard.
    qApp->installEventFilter(this);
}

void TgMapF::hideEvent(QHideEvent *e)
{
    qApp->removeEventFilter(this);
    QDialog::hideEvent(e);
}

void TgMapF::FormShow()
{
    if (FirstShow)
        gMap->MapType = TWebGMaps::TMapType::Terrain;
    gMap->LaunchMap();
    FirstShow = false;
}

bool TgMapF::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape && watched->isWidgetType()
        && (watched == this || isAncestorOf(static_cast<QWidget *>(watched)))) {
        reject();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TgMapF::Button1Click()
{
    reject();
}

void ShowScansOnMap(const TScanRefs &Scans)
{
    if (!gMapF)
        gMapF = new TgMapF(KestrunF);
    gMapF->pnMapTop->setText(QStringLiteral("Showing %1 scans").arg(qsizetype(Scans.size())));
    QApplication::setOverrideCursor(Qt::WaitCursor);
    gMapF->gMap->ClearMarkers();
    double lat = 0.0, lng = 0.0;
    for (const TScan *s : Scans) {
        // A position is two finite numbers, neither of them zero.
        if (s->Latitude != 0.0 && s->Longitude != 0.0 && std::isfinite(s->Latitude)
            && std::isfinite(s->Longitude)) {
            lat = s->Latitude;
            lng = s->Longitude;
            break;
        }
    }
    gMapF->gMap->DefaultLatitude = lat;
    gMapF->gMap->DefaultLongitude = lng;
    for (const TScan *s : Scans)
        gMapF->gMap->AddMarker(s->Latitude, s->Longitude, QString());
    QApplication::restoreOverrideCursor();
    gMapF->exec();
}
