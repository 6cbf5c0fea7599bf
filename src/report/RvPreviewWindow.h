#pragma once

#include <QDialog>
#include <memory>

class QLabel;
class QPushButton;
class QScrollArea;
class QSpinBox;
class RvSystem;
struct ReportDocument;

// The preview: one page at a time at the chosen zoom (100 % is the paper's real
// size on screen), with page navigation, zoom, and where the engine allows it
// printing (soAllowPrintFromPreview) and saving in any renderer's format
// (soAllowSaveFromPreview). Captioned by RvSystem::TitlePreview, opened in
// SystemPreview.FormState.
class RvPreviewWindow : public QDialog
{
    Q_OBJECT

public:
    RvPreviewWindow(RvSystem &system, std::shared_ptr<const ReportDocument> doc, QWidget *parent = nullptr);
    ~RvPreviewWindow() override;

    int currentPage() const { return m_page; } // from 0
    int pageCount() const;
    double zoomFactor() const { return m_zoom; }

    void showPage(int index);
    void setZoomFactor(double percent);

    // The buttons' actions; their errors are shown in the error box and the
    // preview stays open.
    void printReport();
    void saveReport();

    QLabel *pageView() const { return m_view; }
    QPushButton *firstButton() const { return m_first; }
    QPushButton *previousButton() const { return m_previous; }
    QPushButton *nextButton() const { return m_next; }
    QPushButton *lastButton() const { return m_last; }
    QPushButton *zoomInButton() const { return m_zoomIn; }
    QPushButton *zoomOutButton() const { return m_zoomOut; }
    QPushButton *printButton() const { return m_print; }
    QPushButton *saveButton() const { return m_save; }
    QPushButton *closeButton() const { return m_close; }

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void render();

    RvSystem &m_system;
    std::shared_ptr<const ReportDocument> m_doc;
    int m_page = 0;
    double m_zoom = 100;
    QScrollArea *m_scroll = nullptr;
    QLabel *m_view = nullptr;
    QSpinBox *m_pageBox = nullptr;
    QLabel *m_pageOf = nullptr;
    QLabel *m_zoomLabel = nullptr;
    QPushButton *m_first = nullptr;
    QPushButton *m_previous = nullptr;
    QPushButton *m_next = nullptr;
    QPushButton *m_last = nullptr;
    QPushButton *m_zoomIn = nullptr;
    QPushButton *m_zoomOut = nullptr;
    QPushButton *m_print = nullptr;
    QPushButton *m_save = nullptr;
    QPushButton *m_close = nullptr;
};
