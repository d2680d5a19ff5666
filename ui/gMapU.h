#pragma once

#include "ScanRecords.h"

#include <QDialog>
#include <QWebEngineView>

#include <vector>

class QLabel;
class QPushButton;

// Puts one marker per scan on the map window, centred on the first scan with a position, and
// shows it modally; returns when it closes. The caller owns the list and the records.
void ShowScansOnMap(const TScanRefs &Scans);

// The latitude `meters` metres north (negative: south) of `latitude`, in degrees.
double AddMetersToLatitude(double latitude, double meters);
// The longitude `meters` metres east (negative: west) of `longitude` on the parallel `latitude`.
double AddMetersToLongitude(double longitude, double latitude, double meters);

// The map component: a web view showing a page that loads the Google Maps JavaScript API with
// the options and markers set here. When the map cannot load, the page says why.
class TWebGMaps : public QWebEngineView
{
    Q_OBJECT
public:
    enum class TMapType { Default, Roadmap, Satellite, Hybrid, Terrain };
    enum class TLoadState { Idle, Loading, Shown, Failed };
    struct TMarker
    {
        double Latitude = 0.0;
        double Longitude = 0.0;
        QString Title;
    };

    explicit TWebGMaps(QWidget *parent = nullptr);

    QString APIKey;
    QString APIVersion = QStringLiteral("3.34");
    TMapType MapType = TMapType::Default;
    double DefaultLatitude = 0.0;
    double DefaultLongitude = 0.0;
    int Zoom = 10;
    // How long the page waits for the Maps script before it says that Google did not answer.
    int LoadTimeoutMs = 30000;

    void ClearMarkers() { m_markers.clear(); }
    void AddMarker(double latitude, double longitude, const QString &title = {});
    const std::vector<TMarker> &Markers() const { return m_markers; }

    // Loads the map with the current options and markers.
    void LaunchMap();
    TLoadState loadState() const { return m_state; }

    // The address of the Maps script for a key and version; the page calls `callback` when the
    // script has loaded.
    static QUrl scriptUrl(const QString &key, const QString &version, const QString &callback);
    // A key the page can carry: letters, digits, "_" and "-" only.
    static bool isUsableKey(const QString &key);
    // The page for the current options, markers excluded (they follow once it has loaded).
    QString pageHtml() const;

signals:
    void loadStateChanged(TWebGMaps::TLoadState state);

private:
    void pageLoaded(bool ok);
    void titleChange(const QString &title);
    void setState(TLoadState state);

    std::vector<TMarker> m_markers;
    TLoadState m_state = TLoadState::Idle;
};

class TgMapF : public QDialog
{
    Q_OBJECT
public:
    explicit TgMapF(QWidget *parent = nullptr);

    TWebGMaps *gMap = nullptr;
    QWidget *Panel13 = nullptr;
    QLabel *pnMapTop = nullptr;
    QPushButton *Button1 = nullptr;
    bool FirstShow = true;

public slots:
    void FormCreate();
    void FormShow();
    void Button1Click();

protected:
    void showEvent(QShowEvent *e) override;
    void hideEvent(QHideEvent *e) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
};

extern TgMapF *gMapF;
