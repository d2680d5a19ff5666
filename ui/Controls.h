#pragma once

#include <QLabel>
#include <QWidget>

// The few kinds of control that the window platform has and Qt names differently.

// A panel used as a button: a framed caption that reports a left click. Its Tag tells the
// handler which panel it was.
class TClickPanel : public QLabel
{
    Q_OBJECT
public:
    explicit TClickPanel(const QString &caption = {}, QWidget *parent = nullptr);
    int Tag = 0;

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;

private:
    bool m_pressed = false;
};

// A picture drawn from an SVG resource at the control's size; clickable, with a Tag.
class TClickImage : public QLabel
{
    Q_OBJECT
public:
    explicit TClickImage(const QString &resource, QSize size, QWidget *parent = nullptr);
    int Tag = 0;
    const QString &resource() const { return m_resource; }

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;

private:
    QString m_resource;
    bool m_pressed = false;
};

// The navigation pane: opened with icons and captions, or compact with icons only.
class TSplitView : public QWidget
{
    Q_OBJECT
public:
    static constexpr int OpenedWidth = 200;
    static constexpr int CompactWidth = 54;

    explicit TSplitView(QWidget *parent = nullptr);
    bool Opened() const { return m_opened; }
    void Open();
    void Close();

private:
    bool m_opened = true;
};

// The SVG resource drawn into a pixmap of the given size.
QPixmap svgPixmap(const QString &resource, QSize size);
