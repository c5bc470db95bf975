// What the window shows of a book beside its pages: the list's selection marks, the enabled
// state of the controls that follow them, and the name field's text. The window's widgets
// show this state and forward the user's actions here; the rules are tested without one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "book.h"

// Enabled state of the controls that the page list drives.
struct ControlStates {
    bool createEBook = false;
    bool createButton = false;
    bool delButton = false;
    bool clearButton = false;
    bool moveUpButton = false;
    bool moveDownButton = false;
    bool pictureDescEdit = false;
};

class BookPresenter {
   public:
    explicit BookPresenter(Book& book) : book_(book) {}

    Book& book() { return book_; }
    const Book& book() const { return book_; }
    // The selection marks, parallel to the book's pages as of the last action here.
    const std::vector<bool>& selected() const { return selected_; }
    const ControlStates& controls() const { return controls_; }

    // The name field's text right now; the descriptors of a generation take it, desc.txt
    // the name stored in the book when the field last lost the focus.
    std::string nameText;

    // Appends one page per file and records no selection for them; an empty list (a
    // cancelled dialog) changes nothing. Returns how many files the book took.
    size_t ImportPictures(const std::vector<std::string>& files);
    void DeleteSelected();
    void Clear();
    void MoveDown();
    void MoveUp();
    void SetSelected(int32_t row, bool on);
    void SelectOnly(int32_t row);
    // A mouse press on the list: the topmost selected row becomes the current page (see
    // Book::SelectPage), so that the description field and the buttons always belong to the
    // page on screen. False when no row is selected.
    bool SelectPage();
    // Writes the description field's text into the current page.
    void SetDescription(const std::string& text);

   private:
    // The marks follow the book's pages, which a generation or a caller may have changed.
    void Sync();
    void ListEmptied();
    void NoCurrentPage();
    Book& book_;
    std::vector<bool> selected_;  // parallel to the book's pages
    ControlStates controls_;
};
