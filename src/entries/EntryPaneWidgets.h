#pragma once

class CategoryTree;
class CheckListBox;
class FlatEdit;
class FlatMemo;
class QPushButton;
class SkinComboBox;

// The main window's controls that the entry side works on; the main window owns them.
struct EntryPaneWidgets {
    CategoryTree* tree = nullptr;
    CheckListBox* list = nullptr;
    FlatEdit* editCaption = nullptr;
    FlatEdit* editName = nullptr;
    FlatEdit* editPass = nullptr;
    FlatEdit* editWww = nullptr;
    SkinComboBox* comboType = nullptr;
    FlatMemo* editRemark = nullptr;
    QPushButton* buttonRead = nullptr;
    QPushButton* buttonNew = nullptr;
    QPushButton* buttonDel = nullptr;
    QPushButton* buttonSave = nullptr;
    QPushButton* buttonCancel = nullptr;
    QPushButton* buttonCopy1 = nullptr;
    QPushButton* buttonCopy2 = nullptr;
    QPushButton* buttonFollow = nullptr;
    QPushButton* buttonView = nullptr;
};
