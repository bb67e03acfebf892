#pragma once

#include <cmath>
#include <type_traits>

// Tolerance for geometric comparisons: metres for lengths, dimensionless for dot products.
inline constexpr double EPSILON = 1e-6;

// A free vector of three components.
struct Vector {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;

    // Zero vector; callers must not rely on the value.
    constexpr Vector() = default;
    // Vector with the given components.
    constexpr Vector(double x, double y, double z) : x(x), y(y), z(z) {}

    // x² + y² + z².
    constexpr double squaredModulus() const { return x * x + y * y + z * z; }
    // Euclidean length.
    double modulus() const { return std::sqrt(squaredModulus()); }
};

// A point in space; same data as Vector, distinct type so that point/vector arithmetic reads right.
struct Coord : Vector {
    using Vector::Vector;
    // Zero point; callers must not rely on the value.
    constexpr Coord() = default;
    // Point at the tip of v placed at the origin (implicit: keeps point arithmetic readable).
    constexpr Coord(const Vector& v) : Vector(v) {}
};

// A direction, unit unless built through unnormalised(); reports modulus 1 by contract.
struct Versor : Vector {
    // The +x direction.
    constexpr Versor() : Vector(1.0, 0.0, 0.0) {}
    // Direction of (x, y, z), normalised by the rule below.
    constexpr Versor(double x, double y, double z) : Vector(x, y, z) { normalise(); }
    // Direction of v, normalised. Explicit so that a normalisation is always visible at the call site.
    explicit constexpr Versor(const Vector& v) : Versor(v.x, v.y, v.z) {}

    // Versor holding v's components exactly as they stand, with no normalisation.
    static constexpr Versor unnormalised(const Vector& v) {
        Versor r;
        r.x = v.x;
        r.y = v.y;
        r.z = v.z;
        return r;
    }

    // Always 1.0. Hides Vector::squaredModulus rather than overriding it: these classes must stay
    // free of virtual dispatch on the tracing path, and callers always hold the static type.
    constexpr double squaredModulus() const { return 1.0; }
    // Always 1.0; hides Vector::modulus for the same reason as squaredModulus.
    constexpr double modulus() const { return 1.0; }

private:
    // Exactly 0 stays 0 instead of becoming NaN; exactly 1 is already unit and is left untouched.
    constexpr void normalise() {
        const double m2 = x * x + y * y + z * z;
        if (m2 != 0.0 && m2 != 1.0) {
            const double m = std::sqrt(m2);
            x /= m;
            y /= m;
            z /= m;
        }
    }
};

static_assert(std::is_trivially_copyable_v<Vector>);
static_assert(std::is_trivially_copyable_v<Coord>);
static_assert(std::is_trivially_copyable_v<Versor>);

// The point (0, 0, 0).
inline constexpr Coord ORIGIN{0.0, 0.0, 0.0};
// Unit direction along x.
inline constexpr Versor X_AXIS{1.0, 0.0, 0.0};
// Unit direction along y.
inline constexpr Versor Y_AXIS{0.0, 1.0, 0.0};
// Unit direction along z.
inline constexpr Versor Z_AXIS{0.0, 0.0, 1.0};

// Component-wise sum.
constexpr Vector operator+(const Vector& a, const Vector& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
// Component-wise difference.
constexpr Vector operator-(const Vector& a, const Vector& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
// Point displaced by v.
constexpr Coord operator+(const Coord& p, const Vector& v) { return {p.x + v.x, p.y + v.y, p.z + v.z}; }
// Point displaced by v.
constexpr Coord operator+(const Vector& v, const Coord& p) { return p + v; }
// Point displaced by −v.
constexpr Coord operator-(const Coord& p, const Vector& v) { return {p.x - v.x, p.y - v.y, p.z - v.z}; }
// Sum of two points; a Vector because it is not itself a point (an average converts back implicitly).
constexpr Vector operator+(const Coord& p, const Coord& q) { return {p.x + q.x, p.y + q.y, p.z + q.z}; }
// Displacement from q to p.
constexpr Vector operator-(const Coord& p, const Coord& q) { return {p.x - q.x, p.y - q.y, p.z - q.z}; }
// Vector minus point; without it the pair would be ambiguous between the Vector and Coord overloads.
constexpr Vector operator-(const Vector& v, const Coord& p) { return {v.x - p.x, v.y - p.y, v.z - p.z}; }
// Opposite vector.
constexpr Vector operator-(const Vector& v) { return {-v.x, -v.y, -v.z}; }
// v scaled by k.
constexpr Vector operator*(const Vector& v, double k) { return {v.x * k, v.y * k, v.z * k}; }
// v scaled by k.
constexpr Vector operator*(double k, const Vector& v) { return v * k; }

// Dot product a · b.
constexpr double dot(const Vector& a, const Vector& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// Cross product a × b.
constexpr Vector cross(const Vector& a, const Vector& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

// Euclidean distance between p and q.
inline double distance(const Vector& p, const Vector& q) {
    const Vector d = p - q;
    return std::sqrt(dot(d, d));
}

// True when every component of p and q differs by strictly less than EPSILON.
inline bool nearlyEqual(const Vector& p, const Vector& q) {
    return std::abs(p.x - q.x) < EPSILON && std::abs(p.y - q.y) < EPSILON && std::abs(p.z - q.z) < EPSILON;
}
