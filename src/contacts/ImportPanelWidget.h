#pragma once

#include <QWidget>

class GroupChooser;
class ImportPreviewModel;
class QPushButton;
class QTableView;
class TADO;

// The import panel: covers the whole contacts page while shown. The preview list on top, below it
// the group for the new contacts and the buttons "Salvar Importação" and "Cancelar Importação".
// Choosing a group makes it the current row of dbGRUPO, which is the group a save stores.
class ImportPanelWidget : public QWidget {
    Q_OBJECT
public:
    ImportPanelWidget(TADO* ado, ImportPreviewModel* preview, QWidget* page);

    QTableView* previewList() const { return m_list; }
    GroupChooser* groupChooser() const { return m_groups; }
    QPushButton* saveButton() const { return m_save; }
    QPushButton* cancelButton() const { return m_cancel; }

    // Shows the panel over the page, its chooser on the current group of dbGRUPO.
    void showOverPage();
    // Selects and shows the preview row with this "Indice".
    void showRow(int indice);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void groupChosen(int index);

    TADO* m_ado;
    ImportPreviewModel* m_preview;
    QTableView* m_list = nullptr;
    GroupChooser* m_groups = nullptr;
    QPushButton* m_save = nullptr;
    QPushButton* m_cancel = nullptr;
};
