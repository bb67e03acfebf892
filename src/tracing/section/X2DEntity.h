#pragma once
#include <memory>

/// The root of the two-dimensional geometry that carries a section through the model.
///
/// The classes of this family are polymorphic: arrays own them through
/// pointers to this root and copy them with clone().
class X2DEntity {
public:
    virtual ~X2DEntity() = default;

    /// A copy of the same class, owned by the caller.
    virtual std::unique_ptr<X2DEntity> clone() const = 0;

protected:
    X2DEntity() = default;
    X2DEntity(const X2DEntity&) = default;
    X2DEntity& operator=(const X2DEntity&) = default;
};

/// A free vector (x, y) of the section, in metres.
class X2DVector : public X2DEntity {
public:
    X2DVector() = default;
    /// The vector (x, y).
    X2DVector(double x, double y) : x(x), y(y) {}

    std::unique_ptr<X2DEntity> clone() const override { return std::make_unique<X2DVector>(*this); }

    /// The Euclidean length.
    double length() const;
    /// The scalar product with v.
    double dot(const X2DVector& v) const { return x * v.x + y * v.y; }
    /// The z component of the cross product with v: positive when v turns counter-clockwise from this.
    double cross(const X2DVector& v) const { return x * v.y - y * v.x; }

    double x = 0;
    double y = 0;
};

/// The component-wise sum.
inline X2DVector operator+(const X2DVector& a, const X2DVector& b) { return {a.x + b.x, a.y + b.y}; }
/// The component-wise difference (also the displacement between two points).
inline X2DVector operator-(const X2DVector& a, const X2DVector& b) { return {a.x - b.x, a.y - b.y}; }
/// v scaled by k.
inline X2DVector operator*(double k, const X2DVector& v) { return {k * v.x, k * v.y}; }

/// A point (x, y) of the section: x along the section's first axis, y along its second.
class X2DPoint : public X2DVector {
public:
    X2DPoint() = default;
    /// The point (x, y).
    X2DPoint(double x, double y) : X2DVector(x, y) {}
    /// The point at the tip of v placed at the origin.
    explicit X2DPoint(const X2DVector& v) : X2DVector(v) {}

    std::unique_ptr<X2DEntity> clone() const override { return std::make_unique<X2DPoint>(*this); }

    /// The distance to another point.
    double distanceTo(const X2DPoint& other) const { return (*this - other).length(); }
    /// The point displaced by v.
    X2DPoint movedBy(const X2DVector& v) const { return X2DPoint(x + v.x, y + v.y); }
};
