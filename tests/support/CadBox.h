#pragma once
#include <sstream>
#include <string>

// A 6 x 5 x 3 m box with outward faces, as exporters write closed solids: a carpet floor in group Floor, concrete
// elsewhere in group Walls, a source and a receiver point. With triangles, each rectangle is two triangles, as STL
// and triangulating OBJ exports give it. The corners (x, y, z) are numbered from 1; each face runs outward.
inline const double boxCorners[8][3] = {{0, 0, 0}, {6, 0, 0}, {6, 5, 0}, {0, 5, 0},
                                        {0, 0, 3}, {6, 0, 3}, {6, 5, 3}, {0, 5, 3}};
inline const int boxFaces[6][4] = {{1, 4, 3, 2}, {5, 6, 7, 8}, {1, 2, 6, 5}, {3, 4, 8, 7}, {4, 1, 5, 8}, {2, 3, 7, 6}};

inline std::string boxObj(bool triangles) {
    std::ostringstream text;
    for (const auto& c : boxCorners) text << "v " << c[0] << ' ' << c[1] << ' ' << c[2] << '\n';
    text << "v 2 2.5 1.5\nv 4.5 3 1.2\n";
    for (int i = 0; i < 6; ++i) {
        const int* f = boxFaces[i];
        if (i < 2) text << (i == 0 ? "g Floor\nusemtl Carpet\n" : "g Walls\nusemtl Concrete\n");
        text << "f " << f[0] << ' ' << f[1] << ' ' << f[2];
        if (triangles) text << "\nf " << f[0] << ' ' << f[2];  // the second triangle
        text << ' ' << f[3] << '\n';
    }
    text << "g Source1\np 9\ng Receiver1\np 10\n";
    return text.str();
}
