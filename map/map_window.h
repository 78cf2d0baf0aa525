// The map window: an embedded browser showing the map page generated from the template.
#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>

#include <memory>
#include <string>
#include <vector>

class QComboBox;
class QFrame;
class QWebEngineView;

// Window classes live in the global namespace, like the main window TForm1 that declares it.
class TFormMapa : public QWidget {
    Q_OBJECT

public:
    explicit TFormMapa(QWidget* parent = nullptr);
    ~TFormMapa() override;

    // Builds the page from the template and sends the browser to it. Throws qm::Error when the
    // template cannot be read or the page cannot be written.
    void GenerateMap(int mapHeight, int mapWidth, const QStringList& controls, bool showMarker,
                     const QString& latitude, const QString& longitude, const QString& mapType);

    // Where the template is read from and the page written to; empty means the default (the
    // executable's directory, or the user's application data directory when that is read-only).
    void SetTemplateDir(const QString& dir);
    void SetPageDir(const QString& dir);

    // The page being generated; absent (null) while the window is closed.
    const std::vector<std::string>* pageLines() const { return PageLines.get(); }
    const QString& pagePath() const { return PagePath; }

    QComboBox* ComboBox1 = nullptr;
    QComboBox* ComboBox2 = nullptr;
    QFrame* pnlMapa = nullptr;
    QWebEngineView* WebBrowser1 = nullptr;

signals:
    // Asks the owner of the map inputs to tick or untick one map control by name (the map shows the
    // default controls when it opens).
    void CheckMapControl(const QString& controlName, bool tick);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    void FormShow();
    void FormClose();
    void WebBrowser1DocumentComplete(bool ok);

    void FillFontList();
    QString TemplateDir() const;
    QString PageDir() const;
    void CopyLeafletTo(const QString& pageDir) const;
    // Sets the size of the window including its frame; re-applied once the frame becomes known.
    void SetOuterSize(int width, int height);
    void ApplyOuterSize();

    std::unique_ptr<std::vector<std::string>> PageLines;
    QString PagePath;
    QString templateDir_;
    QString pageDir_;
    QSize outerSize_;
    bool outerPending_ = false;
};
