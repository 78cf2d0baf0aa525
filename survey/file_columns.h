// The column widths that file selection sets on a freshly loaded table, in the viewer and the tool.
#pragma once

namespace qm {

struct ColumnWidth {
    int column;
    int width;
};

// In the order they are set: columns 1, 2, 3, 4 and 6 first, so that a table with too few columns
// fails on the first of them, then the narrow hemisphere columns.
inline constexpr ColumnWidth kFileColumnWidths[] = {{1, 80}, {2, 80}, {3, 80}, {4, 80}, {6, 80}, {3, 30}, {5, 30}};

// Sets them on anything with SetColumnWidth(column, width): the table, or the view over it.
template <typename Target>
void SetFileColumnWidths(Target& target)
{
    for (const ColumnWidth& c : kFileColumnWidths)
        target.SetColumnWidth(c.column, c.width);
}

} // namespace qm
