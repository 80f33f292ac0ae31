// Geometry helpers: plain value types for 2D and 3D points, vectors,
// segments, polygons and spheres, with the polygon, bounding-sphere, curve and
// quad-strip functions built on them. Double precision unless a function says
// otherwise. No GL here: the types are only data.
#pragma once

#include <cmath>
#include <vector>

struct Vector2 {
  double x = 0, y = 0;
};
struct Point2 {
  double x = 0, y = 0;
};
struct Vector3 {
  double x = 0, y = 0, z = 0;
};
struct Point3 {
  double x = 0, y = 0, z = 0;
};

inline bool operator==(const Point2& a, const Point2& b) { return a.x == b.x && a.y == b.y; }
inline bool operator==(const Vector2& a, const Vector2& b) { return a.x == b.x && a.y == b.y; }
inline bool operator==(const Point3& a, const Point3& b) {
  return a.x == b.x && a.y == b.y && a.z == b.z;
}
inline bool operator==(const Vector3& a, const Vector3& b) {
  return a.x == b.x && a.y == b.y && a.z == b.z;
}

inline Vector2 operator-(const Point2& a, const Point2& b) { return {a.x - b.x, a.y - b.y}; }
inline Point2 operator+(const Point2& a, const Vector2& v) { return {a.x + v.x, a.y + v.y}; }
inline Vector2 operator*(const Vector2& v, double s) { return {v.x * s, v.y * s}; }

inline Vector3 operator-(const Point3& a, const Point3& b) {
  return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline Point3 operator+(const Point3& a, const Vector3& v) {
  return {a.x + v.x, a.y + v.y, a.z + v.z};
}
inline Point3 operator-(const Point3& a, const Vector3& v) {
  return {a.x - v.x, a.y - v.y, a.z - v.z};
}
inline Vector3 operator+(const Vector3& a, const Vector3& b) {
  return {a.x + b.x, a.y + b.y, a.z + b.z};
}
inline Vector3 operator-(const Vector3& a, const Vector3& b) {
  return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline Vector3 operator*(const Vector3& v, double s) { return {v.x * s, v.y * s, v.z * s}; }
inline double dot(const Vector3& a, const Vector3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vector3 cross(const Vector3& a, const Vector3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline double squared_length(const Vector3& v) { return dot(v, v); }
inline double length(const Vector3& v) { return std::sqrt(dot(v, v)); }
// v over its length; v itself when the length is 0.
inline Vector3 unit(const Vector3& v) {
  const double l = length(v);
  return l != 0 ? v * (1.0 / l) : v;
}
inline Vector3 to_vec(const Point3& p) { return {p.x, p.y, p.z}; }
inline double squared_distance(const Point3& a, const Point3& b) { return squared_length(a - b); }

struct Segment2 {
  Point2 source, target;
};
struct Segment3 {
  Point3 source, target;
};
struct Line3 {
  Point3 p;   // a point on the line
  Vector3 d;  // its direction
};
struct Plane3 {
  Vector3 n;     // the kept side is n . p <= d
  double d = 0;
};
// Implicitly closed from the last point back to the first.
using Polygon2 = std::vector<Point2>;
using Polygon3 = std::vector<Point3>;
struct Sphere3 {
  Point3 c;
  double radius_squared = 0;
};
// Points taken in pairs (left, right) along the strip.
using QuadStrip = std::vector<Point3>;

// True when v lies strictly counter-clockwise between u and w (single
// precision angles).
bool Is_CCW_Between(const Vector2& u, const Vector2& v, const Vector2& w);

// A linear map from the source rectangle onto the destination rectangle.
struct CoordTranslator {
  Point2 mSrcMin, mSrcMax;
  Point2 mDstMin, mDstMax;
  Point2 Forward(const Point2& p) const;
  Point2 Reverse(const Point2& p) const;
};

// Positive when the side q0-q2 of the quad (q0, q1, q2, q3) is the longer,
// negative when q1-q3 is; the magnitude is how much longer. Four points used
// (0 for fewer).
double LongerSideOfQuad(const std::vector<Point3>& q);

void MoveSegLeft(const Segment2& in, double dist, Segment2& out);
// Shifts within the plane normal to up.
void MoveSegLeft(const Segment3& in, double dist, Segment3& out, const Vector3& up);

// The largest inset the polygon takes before an edge collapses; weights is
// one per edge (vertex), or null for all 1. 0 when no edge collapses.
double CalcMaxInset(const Polygon2& poly, const double* weights, bool closed);

// Removes vertices on short edges (min_len) and near-collinear vertices
// (squared distance below a, direction cosine above b) unless both edges are
// longer than max_len. Never takes a polygon below three vertices.
void ReducePolygon(Polygon2& poly, double a, double b, double min_len, double max_len);

// Offsets every edge inwards (left) by dist times its weight and joins the
// neighbours; a turn-back makes a cap of two points, reported to the callback
// with (caps made before it + vertex index, ref).
using inset_cap_fn = void (*)(int index, void* ref);
void InsetPolygon(const Polygon2& poly, const double* weights, double dist, bool closed,
                  Polygon2& out, inset_cap_fn callback, void* ref);
void InsetPolygon(const Polygon3& poly, const double* weights, double dist, bool closed,
                  const Vector3& up, Polygon3& out);

// Reverses every point: the strip runs the other way, each pair swapped.
void ReverseQuadStrip(QuadStrip& strip);

// Grows s to take in p when p lies outside.
void ExtendBoundingSphereToPt(const Point3& p, Sphere3& s);
// The growth step without the containment test.
void ExtendBoundingSphereToPt1(const Point3& p, Sphere3& s);
// Grows dst to take in src; dst becomes src when src already contains it.
void ExtendBoundingSphereToSphere(const Sphere3& src, Sphere3& dst);
// An enclosing sphere in one pass over the sorted points; nothing for none.
void FastBoundingSphere(const std::vector<Point3>& pts, Sphere3& s);

// Convex test in the polygon's plane; points on an edge are inside.
bool PointInPolygon3(const Polygon3& poly, const Point3& p);

// The point of the two lines' common perpendicular at the junction's height;
// false, out untouched, when there is none.
bool IntersectLinesAroundJunction(const Line3& l1, const Line3& l2, const Point3& junction,
                                  Point3& out);

// A cubic curve from p1 to p2 in count segments (1 without control points or
// when they lie on the chord); inner points closer than min_start to p1 or
// min_end to p2 are left out.
void BezierCurve(const Point3& p1, const Point3& p2, bool has_c1, bool has_c2, const Point3& c1,
                 const Point3& c2, int count, double min_start, double min_end,
                 std::vector<Point3>& out);

// Widens a polyline into a quad strip, one up vector and width per point; a
// chain of fewer than two points (or too few ups or widths) leaves out
// untouched.
void ChainToQuadStrip(const std::vector<Point3>& pts, const std::vector<Vector3>& ups,
                      const std::vector<double>& widths, QuadStrip& out);

// Cuts len off the front (back) of the strip into removed; with
// use_longer_side the longer side is cut further, keeping the cut square.
void RemoveFromQuadStripFront(QuadStrip& strip, double len, QuadStrip& removed,
                              bool use_longer_side);
void RemoveFromQuadStripBack(QuadStrip& strip, double len, QuadStrip& removed,
                             bool use_longer_side);

// The part of the polygon where n . p <= d; vertices on the plane are kept.
void ClipToHalfPlane3(const Polygon3& in, const Plane3& plane, Polygon3& out);
