#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "ks_formats/types.h"

namespace ks_formats {

// What a project file says about its scans: the project's own placement (POP), and per scan
// position its name, its single scans' file names and its registration matrix (POP x SOP).
struct ProjectScan {
    WideString file = KS_WIDE("(empty)");  // as written in the project, relative to SINGLESCANS
};

struct ScanPosition {
    // At most kMaxNameBytes bytes of UTF-8 as stored in the file, never cut inside a character.
    static constexpr size_t kMaxNameBytes = 127;
    std::string name;
    std::vector<ProjectScan> scans;
    Matrix4d registration = Matrix4d::identity();
};

struct ProjectContents {
    Matrix4d pop = Matrix4d::identity();
    std::vector<ScanPosition> positions;
};

// a x b.
Matrix4d multiply(const Matrix4d& a, const Matrix4d& b);

// Reads the project file at path (UTF-8). False when there is no document: the file is
// missing, unreadable, no regular file, not well-formed, or has no root element; error (when
// given) then says which, with the parser's line and message for a malformed file.
bool readProject(const std::string& path, ProjectContents& project, std::string* error = nullptr);

// Reads up to 16 numbers, row by row, into matrix; elements without a number keep their values
// and numbers beyond the 16th are ignored. Pieces are separated by runs of spaces, tabs and
// newlines; a piece that is not a finite number counts as 0. A period is the decimal point
// whatever the process locale. Answers the count of numbers stored.
int parseMatrixText(std::string_view text, Matrix4d& matrix);

// The import file of one scan: <project folder>/SCANS/<position>/SINGLESCANS/<file>. Empty when
// the path would not fit a path buffer.
WideString scanFilePath(const WideString& projectPath, const ScanPosition& position,
                        const ProjectScan& scan);

}  // namespace ks_formats
