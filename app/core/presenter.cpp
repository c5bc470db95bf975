#include "presenter.h"

#include <algorithm>

size_t BookPresenter::ImportPictures(const std::vector<std::string>& files) {
    if (files.empty()) return 0;
    const size_t taken = book_.ImportPictures(files);
    Sync();
    controls_.createEBook = controls_.createButton = controls_.clearButton = true;
    return taken;
}

void BookPresenter::ListEmptied() {
    controls_.createEBook = controls_.createButton = controls_.delButton = false;
    controls_.clearButton = controls_.moveUpButton = controls_.moveDownButton = false;
}

void BookPresenter::NoCurrentPage() {
    // The description field writes into the current page: without one it takes nothing.
    controls_.pictureDescEdit = false;
}

void BookPresenter::DeleteSelected() {
    Sync();
    book_.DeletePages(selected_);
    selected_.assign(book_.pages.size(), false);
    if (book_.currentPage < 0) NoCurrentPage();
    if (book_.pages.empty()) ListEmptied();
}

void BookPresenter::Clear() {
    book_.Clear();
    selected_.clear();
    NoCurrentPage();
    ListEmptied();
}

void BookPresenter::MoveDown() {
    Sync();
    if (!book_.MoveDown(selected_)) return;
    const auto lowest = std::find(selected_.rbegin(), selected_.rend(), true);
    if (lowest == selected_.rbegin()) controls_.moveDownButton = false;  // the lowest is now last
    controls_.moveUpButton = true;
}

void BookPresenter::MoveUp() {
    Sync();
    if (!book_.MoveUp(selected_)) return;
    if (!selected_.empty() && selected_.front()) controls_.moveUpButton = false;  // the highest is now first
    controls_.moveDownButton = true;
}

void BookPresenter::Sync() { selected_.resize(book_.pages.size(), false); }

void BookPresenter::SetSelected(int32_t row, bool on) {
    Sync();
    if (row >= 0 && static_cast<size_t>(row) < selected_.size()) selected_[static_cast<size_t>(row)] = on;
}

void BookPresenter::SelectOnly(int32_t row) {
    selected_.assign(book_.pages.size(), false);
    SetSelected(row, true);
}

bool BookPresenter::SelectPage() {
    Sync();
    const auto first = std::find(selected_.begin(), selected_.end(), true);
    const int32_t r = first == selected_.end() ? -1 : static_cast<int32_t>(first - selected_.begin());
    if (!book_.SelectPage(r)) return false;
    controls_.delButton = true;
    controls_.moveUpButton = r > 0;
    controls_.moveDownButton = r != book_.pageCount() - 1;
    controls_.pictureDescEdit = true;
    return true;
}

void BookPresenter::SetDescription(const std::string& text) { book_.SetDescription(book_.currentPage, text); }
