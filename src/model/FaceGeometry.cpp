// The geometry a face derives from its vertices, and the tests built on it.
#include <cmath>
#include <ostream>

#include "model/EntityList.h"
#include "model/Face.h"
#include "model/Wall.h"
#include "run/RunParameters.h"
#include "ui/Messages.h"

namespace {
// Where a ray is taken as parallel to a plane.
constexpr double parallelLimit = 1e-6;
}  // namespace

Face::Face(const Coord& a, const Coord& b, const Coord& c, const Coord& d, std::uint16_t material)
    : material(material) {
    const Coord points[] = {a, b, c, d};
    setVertices(points, 4);
}

Face::Face(const Face& other) : Entity() { copyFrom(other); }

void Face::copyFrom(const Face& other) {
    flags = other.flags;
    material = other.material;
    owner = other.owner;
    number = 0;
    setVertices(other.vertices.data(), static_cast<std::uint32_t>(other.vertices.size()));
}

bool Face::setVertices(const Coord* points, std::uint32_t count) {
    const std::uint32_t line = EntityList::lineNumber;
    if (count > maxVertices) {
        reportWarning("Ignoring %s with %u edges (max.%u) in line %u", typeName(), count, maxVertices, line);
        return false;
    }
    // Of a run of equal vertices the last one stays, in its place.
    std::vector<Coord> kept;
    kept.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        bool repeated = false;
        for (std::uint32_t j = i + 1; j < count && !repeated; ++j) repeated = nearlyEqual(points[i], points[j]);
        if (!repeated) kept.push_back(points[i]);
    }
    vertexCount = static_cast<std::uint16_t>(kept.size());
    // A quadrilateral written with a repeated corner is an ordinary triangle: no message.
    if (kept.size() != count && kept.size() != 3)
        reportWarning("Reducing %s with %u vertices to %u at line %u", typeName(), count, vertexCount, line);
    if (kept.size() < 3) {
        reportWarning("Ignoring %s with %u vertices only at line %u", typeName(), vertexCount, line);
        return false;
    }
    vertices = std::move(kept);
    computePlane();
    return true;
}

void Face::computePlane() {
    const std::size_t n = vertices.size();
    const double c = parameters.CrackTolerance;
    const Coord& p0 = vertices[0];
    const Versor normal(cross(vertices[n / 3] - p0, vertices[2 * n / 3] - p0));
    plane = Plane(normal, -dot(normal, p0));
    for (std::size_t i = 0; i < n; ++i) {
        const double e = std::fabs(plane.signedDistance(vertices[i]));
        if (e < 1e-6) continue;
        if (e > c / 2)
            reportWarning("vertex %u is not complanar to %s in line %u", static_cast<unsigned>(i), typeName(),
                          EntityList::lineNumber);
        Coord onPlane;
        if (intersect(Line(vertices[i], normal), plane, onPlane)) vertices[i] = onPlane;
    }
    Coord low, high;
    extent(low, high);
    isBoxRectangle = n == 4;
    for (const Coord& p : vertices)
        isBoxRectangle = isBoxRectangle && (p.x == low.x || p.x == high.x) && (p.y == low.y || p.y == high.y) &&
                         (p.z == low.z || p.z == high.z);
    boxMin = low - Vector(c, c, c);
    boxMax = high + Vector(c, c, c);
    if (boxMin.x > boxMax.x) std::swap(boxMin.x, boxMax.x);
    if (boxMin.y > boxMax.y) std::swap(boxMin.y, boxMax.y);
    if (boxMin.z > boxMax.z) std::swap(boxMin.z, boxMax.z);
    computeEdges();

    Vector sum;
    double perimeter = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const Coord& a = vertices[i];
        const Coord& b = vertices[(i + 1) % n];
        sum = sum + cross(a, b);
        perimeter += distance(a, b);
    }
    area = std::fabs(dot(normal, sum)) / 2;
    // Rays through the crack between two faces must still meet one of them:
    // the area test of every face but an exact rectangle is widened by a band
    // of 5 c along its perimeter.
    if (!isBoxRectangle) area += 5 * c * perimeter;
    isConvex = computeConvexity();
    if (!isConvex) computeProjected();
}

void Face::computeEdges() {
    const std::size_t n = vertices.size();
    Vector sum;
    for (const Coord& p : vertices) sum = sum + p;
    centroid = Coord(sum * (1.0 / static_cast<double>(n)));
    edgeLines.resize(n);
    for (std::size_t i = 0; i < n; ++i) edgeLines[i] = Line(vertices[i], vertices[(i + 1) % n]);
}

// Every edge's outward direction must see all other vertices on one side;
// collinear vertices count for neither side.
bool Face::computeConvexity() const {
    const std::size_t n = vertices.size();
    if (n < 4) return true;
    bool positive = false, negative = false;
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t following = (i + 1) % n;
        const Versor m(cross(vertices[following] - vertices[i], plane.normal()));
        for (std::size_t j = 0; j < n; ++j) {
            if (j == i || j == following) continue;
            const double s = dot(m, vertices[j] - vertices[i]);
            if (s > 0) positive = true;
            if (s < 0) negative = true;
            if (positive && negative) return false;
        }
    }
    return true;
}

// The dominant axis of the normal is dropped; ties go to the later choice.
Point2 Face::projectedPoint(const Vector& p) const {
    const double nx = std::fabs(plane.x), ny = std::fabs(plane.y), nz = std::fabs(plane.z);
    if (nx > ny && nx > nz) return {p.y, p.z};
    if (ny > nz) return {p.x, p.z};
    return {p.x, p.y};
}

void Face::computeProjected() {
    projected.resize(vertices.size());
    for (std::size_t i = 0; i < vertices.size(); ++i) projected[i] = projectedPoint(vertices[i]);
}

bool Face::inBox(const Coord& p) const {
    return p.x >= boxMin.x && p.x <= boxMax.x && p.y >= boxMin.y && p.y <= boxMax.y && p.z >= boxMin.z &&
           p.z <= boxMax.z;
}

bool Face::containsByArea(const Coord& p) const {
    const std::size_t n = vertices.size();
    double sum = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const Coord& a = vertices[i];
        const Coord& b = vertices[(i + 1) % n];
        sum += cross(b - p, b - a).modulus() / 2;
    }
    return area >= sum;
}

// Counts the edges crossed by the segment from p towards p + (100000, 1):
// an odd count is inside. The slight slope keeps the segment off horizontal edges.
bool Face::containsByCrossing(const Coord& p) const {
    const Point2 q = projectedPoint(p);
    const Point2 d{100000, 1};
    const std::size_t n = projected.size();
    int crossings = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const Point2& a = projected[i];
        const Point2& b = projected[(i + 1) % n];
        const Point2 e{a.first - b.first, a.second - b.second};
        const double den = e.second * d.first - d.second * e.first;
        if (std::fabs(den) < 1e-6) continue;
        const double s = (e.second * (a.first - q.first) - (a.second - q.second) * e.first) / den;
        const double t = ((a.second - q.second) * d.first - d.second * (a.first - q.first)) / den;
        if (s >= 0 && s <= 1 && t >= 0 && t <= 1) ++crossings;
    }
    return crossings % 2 == 1;
}

bool Face::contains(const Coord& p) const {
    if (!inBox(p)) return false;
    if (isBoxRectangle) return true;
    return isConvex ? containsByArea(p) : containsByCrossing(p);
}

bool Face::findSharedEdge(const Face& other, int& i, int& j) const {
    const int n = static_cast<int>(vertices.size());
    const int m = static_cast<int>(other.vertices.size());
    for (int a = 0; a < n; ++a) {
        for (int b = 0; b < m; ++b) {
            if (!nearlyEqual(vertices[a], other.vertices[b])) continue;
            const Coord& following = vertices[(a + 1) % n];
            if (nearlyEqual(following, other.vertices[(b + 1) % m])) {
                i = a;
                j = b;
                return true;
            }
            if (nearlyEqual(following, other.vertices[(b + m - 1) % m])) {
                i = a;
                j = (b + m - 1) % m;
                return true;
            }
        }
    }
    return false;
}

Face* hitBy(const Line& ray, Entity& entity, Coord& point, double& t, double tMax) {
    Wall* wall = entity.typeCode() == EntityType::wall ? static_cast<Wall*>(&entity) : nullptr;
    Face* face = wall ? wall->face : static_cast<Face*>(&entity);
    return hitBy(ray, *face, wall, point, t, tMax);
}

Face* hitBy(const Line& ray, Face& face, Wall* wall, Coord& point, double& t, double tMax) {
    const Plane& plane = face.plane;
    const double den = -dot(ray.direction(), plane.normal());
    if (std::fabs(den) < parallelLimit) {
        t = 1e12;
        return nullptr;
    }
    t = plane.signedDistance(ray.origin) / den;
    if (t <= 1e-6 || t > tMax + 1e-6) return nullptr;
    point = ray.origin + t * ray.direction();
    if (!face.contains(point)) return nullptr;
    if (!wall) return &face;
    Face* met = wall->faceAt(point);
    return (met && !met->isTransparent()) ? met : nullptr;
}

void Face::exportDxf(std::ostream& out) const {
    out << "0\n3DFACE\n8\n0\n";
    for (std::size_t i = 0; i < vertices.size(); ++i) {
        const Coord& p = vertices[i];
        out << 10 + i << '\n' << p.x << '\n' << 20 + i << '\n' << p.y << '\n' << 30 + i << '\n' << p.z << '\n';
    }
}
