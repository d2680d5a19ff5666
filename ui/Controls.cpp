#include "Controls.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QSvgRenderer>

QPixmap svgPixmap(const QString &resource, QSize size)
{
    const qreal dpr = qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
    QPixmap pm(size * dpr);
    pm.setDevicePixelRatio(dpr);
    pm.fill(Qt::transparent);
    QSvgRenderer svg(resource);
    QPainter p(&pm);
    svg.render(&p, QRectF(QPointF(0, 0), QSizeF(size)));
    return pm;
}

TClickPanel::TClickPanel(const QString &caption, QWidget *parent) : QLabel(caption, parent)
{
    setTextFormat(Qt::PlainText);
    setCursor(Qt::PointingHandCursor);
}

void TClickPanel::mousePressEvent(QMouseEvent *e)
{
    m_pressed = e->button() == Qt::LeftButton;
    e->accept();
}

void TClickPanel::mouseReleaseEvent(QMouseEvent *e)
{
    const bool click = m_pressed && e->button() == Qt::LeftButton && rect().contains(e->pos());
    m_pressed = false;
    e->accept();
    if (click)
        emit clicked();
}

TClickImage::TClickImage(const QString &resource, QSize size, QWidget *parent)
    : QLabel(parent), m_resource(resource)
{
    setFixedSize(size);
    setAlignment(Qt::AlignCenter);
    setPixmap(svgPixmap(resource, size));
}

void TClickImage::mousePressEvent(QMouseEvent *e)
{
    m_pressed = e->button() == Qt::LeftButton;
    e->accept();
}

void TClickImage::mouseReleaseEvent(QMouseEvent *e)
{
    const bool click = m_pressed && e->button() == Qt::LeftButton && rect().contains(e->pos());
    m_pressed = false;
    e->accept();
    if (click)
        emit clicked();
}

TSplitView::TSplitView(QWidget *parent) : QWidget(parent)
{
    setFixedWidth(OpenedWidth);
}

void TSplitView::Open()
{
    m_opened = true;
    setFixedWidth(OpenedWidth);
}

void TSplitView::Close()
{
    m_opened = false;
    setFixedWidth(CompactWidth);
}
