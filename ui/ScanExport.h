#pragma once

#include "ScanCsv.h"
#include "ScanRecords.h"

#include <QDialog>
#include <QTableWidget>

#include <functional>

class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

// Shows the CSV export dialog modally for the scans (a non-empty selection the caller owns)
// and the session whose value names label the value fields; returns when it closes. An empty
// Value3Name of the session is set to "Value3".
void ExportScans(const TScanRefs &Scans, TScanSession &Session);

// The field grid: a header row and field rows whose check boxes toggle by clicking; a field
// row can be dragged to another place among the field rows.
class TFieldGrid : public QTableWidget
{
    Q_OBJECT
public:
    explicit TFieldGrid(QWidget *parent = nullptr);
    // Asked when a drag starts, with the row it starts on.
    std::function<bool(int row)> OnOleDrag;

signals:
    void rowDropped(int from, int to);

protected:
    void mousePressEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;

private:
    int dropRow(const QPoint &pos) const;
    int m_pressRow = -1;
    QPoint m_pressPos;
    bool m_dragging = false;
};

class TExportF : public QDialog
{
    Q_OBJECT
public:
    // The window and its controls, with no scans: the instance made at program start.
    explicit TExportF(QWidget *parent = nullptr);
    // Steps 1 to 4 of opening, short of showing: keeps the list and the session, builds the
    // grid and the preview.
    TExportF(const TScanRefs &Scans, TScanSession &Session, QWidget *parent = nullptr);

    enum Column { ColField = 0, ColExport = 1, ColQuoted = 2 };
    static constexpr int RowCount = 9;

    QLabel *Panel1 = nullptr;
    QWidget *Panel2 = nullptr;
    QLabel *lbPreview = nullptr;
    QPlainTextEdit *Memo1 = nullptr;
    QWidget *pnRight = nullptr;
    QLabel *Label2 = nullptr;
    QComboBox *cbxDateFormat = nullptr;
    QPushButton *btExport = nullptr;
    QPushButton *btCancel = nullptr;
    TFieldGrid *grd = nullptr;

    // The date pattern in use: the text of cbxDateFormat.
    QString DateFormat;

    void SetupGrid();
    void PreviewExport();
    QString ScanToString(const TScan &scan) const;
    // The state of the check box in a cell; a cell without one counts as unchecked.
    bool IsChecked(int col, int row) const;
    // The field rows from top to bottom with their check boxes.
    TExportColumns exportColumns() const;
    // The field a field row stands for.
    TScanField rowField(int row) const;
    // Moves a field row to another place among the field rows, check boxes included.
    void moveFieldRow(int from, int to);

public slots:
    void cbxDateFormatChange(int index);
    void grdCheckBoxChange(int col, int row, bool state);
    bool grdOleDrag(int row);
    void btExportClick();
    void btCancelClick();

protected:
    void keyPressEvent(QKeyEvent *e) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Key preview: the form sees each key press before the focused control does.
    bool FormKeyPress(QKeyEvent *e);
    void itemChanged(QTableWidgetItem *item);
    void setCheckBox(int col, int row, bool checked);

    TScanRefs m_scans;
    TScanSession m_noSession;
    TScanSession *m_session = &m_noSession;
    bool m_filling = false;
    QString m_previewText;
};

// The instance made hidden at program start; each export makes a dialog of its own.
extern TExportF *ExportF;
