// Table rows against file rows. "del" removes a reading from the table in memory only, so what
// works on the file itself (the site map) needs the file's row of a table row.
#pragma once

#include <algorithm>
#include <vector>

namespace qm {

class DeletedRows {
public:
    void Clear() { fileRows_.clear(); }

    // Each removed row at or before the row found so far moves it one further down the file.
    int FileRow(int tableRow) const
    {
        int row = tableRow;
        for (const int deleted : fileRows_) {
            if (deleted > row)
                break;
            ++row;
        }
        return row;
    }

    // The removed rows, as rows of the file, ascending.
    const std::vector<int>& FileRows() const { return fileRows_; }

    // Called before the table row is removed.
    void Record(int tableRow)
    {
        const int fileRow = FileRow(tableRow);
        fileRows_.insert(std::lower_bound(fileRows_.begin(), fileRows_.end(), fileRow), fileRow);
    }

private:
    std::vector<int> fileRows_; // sorted
};

} // namespace qm
