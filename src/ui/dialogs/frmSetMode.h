#pragma once

#include <QDialog>

#include <functional>

class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QToolButton;

namespace ui {

class PairGrid;

// The parameters of one folder pair: mode, enabled, and interval (every pass
// or every N-th pass). Opens on the grid's current row; OK writes Rar, Enable
// and NbTemporisations to the pair's section, reloads the pairs and makes the
// row current again; Cancel changes nothing.
//
// The option buttons of a pair are named optRar_0 (compress), optRar_1
// (uncompress), optTempo_0 (every pass) and optTempo_1 (every N-th pass).
class frmSetMode : public QDialog {
    Q_OBJECT
public:
    // reload refills the grid from the files (the main window's reload).
    frmSetMode(PairGrid* grid, std::function<void()> reload, QWidget* parent = nullptr);

    // A number as the box accepts it: decimal digits with an optional sign,
    // blanks around allowed. value gets the number, held to the 64-bit range.
    static bool readNumber(const QString& text, qint64* value);
    // "i.e. 0 h 3 min 20 sec" for 20 passes of 10 seconds (French "soit: ...").
    static QString timeText(qint64 passes, qint64 temporisation);

private:
    void buildControls();
    void applyCaptions();
    void load();
    void txtMiroirN_Change();
    void optTempo_Click();
    void cmdOK_Click();

    PairGrid* m_grid;
    std::function<void()> m_reload;
    int m_row = -1;
    bool m_markAtOpen = false; // the grid showed its selection when the dialog opened
    bool m_trimming = false;

    QLabel* lblFrom = nullptr;
    QLabel* lblSource = nullptr;
    QLabel* lblTo = nullptr;
    QLabel* lblCible = nullptr;
    QRadioButton* optRar0 = nullptr;
    QRadioButton* optRar1 = nullptr;
    QToolButton* PictureSet = nullptr;
    QToolButton* PictureSetMod = nullptr;
    QCheckBox* chkEnable = nullptr;
    QRadioButton* optTempo0 = nullptr;
    QRadioButton* optTempo1 = nullptr;
    QLineEdit* txtMiroirN = nullptr;
    QLabel* lblMiroirN1 = nullptr;
    QLabel* lblMiroirN2 = nullptr;
    QLabel* lblErr = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdAnnuler = nullptr;
    QButtonGroup* m_modeGroup = nullptr;
    QButtonGroup* m_tempoGroup = nullptr;
};

} // namespace ui
