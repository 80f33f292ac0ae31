#include "OGL/geometry.h"

#include <cstdint>

#include "support/test_util.h"

namespace {
std::vector<std::pair<double, double>> xy(const Polygon2& p) {
  std::vector<std::pair<double, double>> v;
  for (const Point2& q : p) v.emplace_back(q.x, q.y);
  return v;
}
using P = std::pair<double, double>;
}  // namespace

TEST(Geometry, AnglesTranslatorAndSegments) {
  EXPECT_TRUE(Is_CCW_Between({1, 0}, {0, 1}, {-1, 0}));
  EXPECT_FALSE(Is_CCW_Between({-1, 0}, {0, 1}, {1, 0}));
  EXPECT_TRUE(Is_CCW_Between({-1, 0}, {0, -1}, {1, 0}));  // across the -pi seam
  EXPECT_TRUE(Is_CCW_Between({1, 1}, {5, 5}, {2, 2}));     // u and w alike

  CoordTranslator t{{0, 0}, {10, 20}, {100, 100}, {200, 300}};
  const Point2 f = t.Forward({5, 5});
  EXPECT_DOUBLE_EQ(f.x, 150);
  EXPECT_DOUBLE_EQ(f.y, 150);
  const Point2 r = t.Reverse(f);
  EXPECT_DOUBLE_EQ(r.x, 5);
  EXPECT_DOUBLE_EQ(r.y, 5);

  Segment2 s;
  MoveSegLeft(Segment2{{0, 0}, {3, 0}}, 2, s);  // axis-aligned: unit normal by sign
  EXPECT_EQ(xy({s.source, s.target}), (std::vector<P>{{0, 2}, {3, 2}}));
  MoveSegLeft(Segment2{{0, 0}, {3, 4}}, 5, s);
  EXPECT_NEAR(s.source.x, -4, 1e-12);
  EXPECT_NEAR(s.source.y, 3, 1e-12);
  Segment3 s3;
  MoveSegLeft(Segment3{{0, 0, 0}, {3, 4, 0}}, 5, s3, {0, 0, 1});  // agrees with 2D
  EXPECT_NEAR(s3.target.x, -1, 1e-12);
  EXPECT_NEAR(s3.target.y, 7, 1e-12);
}

TEST(Geometry, InsetSquareCapsAndCollinear) {
  const Polygon2 sq = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  Polygon2 out;
  InsetPolygon(sq, nullptr, 0.25, true, out, nullptr, nullptr);
  EXPECT_EQ(xy(out), (std::vector<P>{{0.25, 0.25}, {0.75, 0.25}, {0.75, 0.75}, {0.25, 0.75}}));

  std::vector<int> calls;
  auto cb = [](int i, void* ref) { static_cast<std::vector<int>*>(ref)->push_back(i); };
  InsetPolygon({{0, 0}, {1, 0}, {0, 0}}, nullptr, 0.25, false, out, cb, &calls);
  EXPECT_EQ(xy(out), (std::vector<P>{{0, 0.25}, {1.25, 0.25}, {1.25, -0.25}, {0, -0.25}}));
  EXPECT_EQ(calls, std::vector<int>{1});

  // The vertex between two collinear edges is dropped.
  InsetPolygon({{0, 0}, {0.5, 0}, {1, 0}, {1, 1}, {0, 1}}, nullptr, 0.25, true, out, nullptr,
               nullptr);
  EXPECT_EQ(xy(out), (std::vector<P>{{0.25, 0.25}, {0.75, 0.25}, {0.75, 0.75}, {0.25, 0.75}}));

  // Weights scale each edge's offset.
  const double w[] = {2, 1, 1, 1};
  InsetPolygon(sq, w, 0.25, true, out, nullptr, nullptr);
  EXPECT_EQ(out[0].y, 0.5);

  // The 3D form with up = z matches the 2D answer.
  Polygon3 out3;
  InsetPolygon(Polygon3{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, nullptr, 0.25, true,
               {0, 0, 1}, out3);
  ASSERT_EQ(out3.size(), 4u);
  const double ex[4][2] = {{0.25, 0.25}, {0.75, 0.25}, {0.75, 0.75}, {0.25, 0.75}};
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_NEAR(out3[i].x, ex[i][0], 1e-12);
    EXPECT_NEAR(out3[i].y, ex[i][1], 1e-12);
    EXPECT_EQ(out3[i].z, 0);
  }

  EXPECT_NEAR(CalcMaxInset(sq, nullptr, true), 0.5, 1e-6);  // single-precision angles
  EXPECT_EQ(CalcMaxInset({}, nullptr, true), 0);
  EXPECT_EQ(CalcMaxInset({{0, 0}}, nullptr, false), 0);
}

TEST(Geometry, ReducePolygon) {
  Polygon2 tri = {{0, 0}, {1e-9, 0}, {0, 1e-9}};  // every edge far below min_len
  ReducePolygon(tri, 1, -1, 1, 2);
  EXPECT_EQ(tri.size(), 3u);

  // The midpoints of a square's sides lie on their chords and go; the
  // corners stay, and the polygon never shrinks below a triangle.
  Polygon2 p = {{0, 0}, {1, 0}, {2, 0}, {2, 1}, {2, 2}, {0, 2}};
  ReducePolygon(p, 1e-6, 0.999, 0, 10);
  EXPECT_EQ(xy(p), (std::vector<P>{{0, 0}, {2, 0}, {2, 2}, {0, 2}}));
  ReducePolygon(p, 0, 0, 100, 1000);
  EXPECT_EQ(p.size(), 3u);
}

TEST(Geometry, BoundingSpheres) {
  Sphere3 s;
  FastBoundingSphere({{3, 4, 5}}, s);
  EXPECT_EQ(s.c, (Point3{3, 4, 5}));
  EXPECT_EQ(s.radius_squared, 0);
  Sphere3 untouched{{1, 1, 1}, 7};
  FastBoundingSphere({}, untouched);
  EXPECT_EQ(untouched.radius_squared, 7);

  // Contains every point of random clouds.
  uint32_t seed = 12345;
  auto rnd = [&] { return (seed = seed * 1664525u + 1013904223u) / 4294967296.0 * 200 - 100; };
  for (int cloud = 0; cloud < 50; ++cloud) {
    std::vector<Point3> pts;
    for (int i = 0; i < 2 + cloud * 3; ++i) pts.push_back({rnd(), rnd(), rnd() * 0.1});
    FastBoundingSphere(pts, s);
    for (const Point3& q : pts)
      EXPECT_LE(squared_distance(q, s.c), s.radius_squared * (1 + 1e-9) + 1e-9);
  }

  Sphere3 a{{0, 0, 0}, 1};
  ExtendBoundingSphereToPt({0.5, 0, 0}, a);  // inside: no change
  EXPECT_EQ(a.radius_squared, 1);
  ExtendBoundingSphereToPt({3, 0, 0}, a);
  EXPECT_DOUBLE_EQ(a.c.x, 1);
  EXPECT_DOUBLE_EQ(a.radius_squared, 4);

  // A big src holding a small dst replaces it; a small src inside dst changes
  // nothing; disjoint spheres meet in one that holds both.
  Sphere3 dst{{1, 0, 0}, 1};
  ExtendBoundingSphereToSphere(Sphere3{{0, 0, 0}, 100}, dst);
  EXPECT_EQ(dst.c, (Point3{0, 0, 0}));
  EXPECT_EQ(dst.radius_squared, 100);
  ExtendBoundingSphereToSphere(Sphere3{{1, 0, 0}, 1}, dst);
  EXPECT_EQ(dst.radius_squared, 100);
  Sphere3 d2{{0, 0, 0}, 1};
  ExtendBoundingSphereToSphere(Sphere3{{10, 0, 0}, 4}, d2);
  EXPECT_DOUBLE_EQ(d2.c.x, 5.5);
  EXPECT_DOUBLE_EQ(d2.radius_squared, 6.5 * 6.5);
  Sphere3 empty{{9, 9, 9}, 0};
  ExtendBoundingSphereToSphere(Sphere3{{1, 2, 3}, 4}, empty);
  EXPECT_EQ(empty.c, (Point3{1, 2, 3}));
}

TEST(Geometry, PointInPolygonAndLines) {
  const Polygon3 sq = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
  EXPECT_TRUE(PointInPolygon3(sq, {0.5, 0.5, 3}));
  EXPECT_TRUE(PointInPolygon3(sq, {1, 0.5, 0}));  // on an edge
  EXPECT_FALSE(PointInPolygon3(sq, {1.5, 0.5, 0}));
  EXPECT_FALSE(PointInPolygon3({{0, 0, 0}, {1, 0, 0}}, {0, 0, 0}));

  Point3 out{7, 7, 7};
  EXPECT_FALSE(IntersectLinesAroundJunction({{0, 0, 0}, {1, 0, 0}}, {{0, 1, 0}, {2, 0, 0}},
                                            {0, 0, 0}, out));
  EXPECT_EQ(out, (Point3{7, 7, 7}));
  ASSERT_TRUE(IntersectLinesAroundJunction({{0, 0, 0}, {1, 0, 0}}, {{0, 0, 1}, {0, 1, 0}},
                                           {0, 0, 0.5}, out));
  EXPECT_NEAR(out.x, 0, 1e-12);
  EXPECT_NEAR(out.y, 0, 1e-12);
  EXPECT_NEAR(out.z, 0.5, 1e-12);
}

TEST(Geometry, Bezier) {
  std::vector<Point3> out;
  BezierCurve({0, 0, 0}, {4, 0, 0}, false, false, {}, {}, 10, 0, 0, out);
  EXPECT_EQ(out, (std::vector<Point3>{{0, 0, 0}, {4, 0, 0}}));
  BezierCurve({0, 0, 0}, {4, 0, 0}, true, true, {1, 0, 0}, {3, 0, 0}, 10, 0, 0, out);
  EXPECT_EQ(out.size(), 2u);  // controls on the chord
  BezierCurve({0, 0, 0}, {4, 0, 0}, true, true, {0, 4, 0}, {4, 4, 0}, 4, 0, 0, out);
  ASSERT_EQ(out.size(), 5u);
  EXPECT_NEAR(out[2].x, 2, 1e-6);
  EXPECT_NEAR(out[2].y, 3, 1e-6);
  // Points near the ends are dropped.
  BezierCurve({0, 0, 0}, {4, 0, 0}, true, true, {0, 4, 0}, {4, 4, 0}, 4, 2.5, 2.5, out);
  EXPECT_EQ(out.size(), 3u);
}

TEST(Geometry, QuadStrips) {
  QuadStrip q = {{0, 0, 0}, {0, 1, 0}, {1, 0, 0}, {1, 1, 0}};  // L0 R0 L1 R1
  ReverseQuadStrip(q);
  EXPECT_EQ(q, (QuadStrip{{1, 1, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 0}}));

  QuadStrip out = {{9, 9, 9}};
  ChainToQuadStrip({{0, 0, 0}}, {{0, 0, 1}}, {2}, out);
  EXPECT_EQ(out.size(), 1u);
  ChainToQuadStrip({{0, 0, 0}, {1, 0, 0}}, {{0, 0, 1}, {0, 0, 1}}, {2, 2}, out);
  EXPECT_EQ(out, (QuadStrip{{0, -1, 0}, {0, 1, 0}, {1, -1, 0}, {1, 1, 0}}));

  // A right-angle bend: the corner points meet where the offset sides do.
  ChainToQuadStrip({{0, 0, 0}, {2, 0, 0}, {2, 2, 0}}, {{0, 0, 1}, {0, 0, 1}, {0, 0, 1}},
                   {2, 2, 2}, out);
  ASSERT_EQ(out.size(), 6u);
  EXPECT_NEAR(out[2].x, 3, 1e-12);
  EXPECT_NEAR(out[2].y, -1, 1e-12);
  EXPECT_NEAR(out[3].x, 1, 1e-12);
  EXPECT_NEAR(out[3].y, 1, 1e-12);

  // A straight strip along x of length 3, left side y=0, right side y=1.
  const QuadStrip straight = {{0, 0, 0}, {0, 1, 0}, {1, 0, 0}, {1, 1, 0},
                              {2, 0, 0}, {2, 1, 0}, {3, 0, 0}, {3, 1, 0}};
  QuadStrip s = straight, removed = {{5, 5, 5}};
  RemoveFromQuadStripFront(s, 1.5, removed, false);
  EXPECT_EQ(removed, (QuadStrip{{0, 0, 0}, {0, 1, 0}, {1, 0, 0}, {1, 1, 0}, {1.5, 0, 0},
                                {1.5, 1, 0}}));
  EXPECT_EQ(s, (QuadStrip{{1.5, 0, 0}, {1.5, 1, 0}, {2, 0, 0}, {2, 1, 0}, {3, 0, 0}, {3, 1, 0}}));

  for (double len : {4.0, 3.0}) {  // beyond both sides; equal to the right side
    s = straight;
    RemoveFromQuadStripFront(s, len, removed, false);
    EXPECT_EQ(s, straight);
    EXPECT_TRUE(removed.empty());
  }
  // Equal to the left side, with a longer right side: cut at the last point.
  QuadStrip longer = straight;
  longer[7].x = 4;
  RemoveFromQuadStripFront(longer, 3, removed, false);
  ASSERT_GE(removed.size(), 2u);
  EXPECT_EQ(removed[removed.size() - 2], (Point3{3, 0, 0}));

  s = straight;
  RemoveFromQuadStripBack(s, 1.5, removed, false);
  EXPECT_EQ(s, (QuadStrip{{0, 0, 0}, {0, 1, 0}, {1, 0, 0}, {1, 1, 0}, {1.5, 0, 0}, {1.5, 1, 0}}));
  EXPECT_EQ(removed.size(), 6u);

  // LongerSideOfQuad (L0, R0, L1, R1): how far one side starts before the other.
  EXPECT_NEAR(LongerSideOfQuad({{-1, 0, 0}, {0, 1, 0}, {2, 0, 0}, {2, 1, 0}}), 1, 1e-12);
  EXPECT_NEAR(LongerSideOfQuad({{0, 0, 0}, {-1, 1, 0}, {2, 0, 0}, {2, 1, 0}}), -1, 1e-12);
  // With the flag, the left side of such a quad is cut 1 further.
  s = {{-1, 0, 0}, {0, 1, 0}, {2, 0, 0}, {2, 1, 0}, {4, 0, 0}, {4, 1, 0}};
  RemoveFromQuadStripFront(s, 1, removed, true);
  EXPECT_EQ(removed, (QuadStrip{{-1, 0, 0}, {0, 1, 0}, {1, 0, 0}, {1, 1, 0}}));
}

TEST(Geometry, ClipToHalfPlane) {
  const Polygon3 sq = {{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0}};
  Polygon3 out;
  ClipToHalfPlane3(sq, {{1, 0, 0}, 5}, out);
  EXPECT_EQ(out, sq);
  ClipToHalfPlane3(sq, {{1, 0, 0}, -1}, out);
  EXPECT_TRUE(out.empty());
  ClipToHalfPlane3({}, {{1, 0, 0}, 0}, out);
  EXPECT_TRUE(out.empty());

  ClipToHalfPlane3(sq, {{1, 0, 0}, 1}, out);
  EXPECT_EQ(out, (Polygon3{{0, 0, 0}, {1, 0, 0}, {1, 2, 0}, {0, 2, 0}}));

  // Vertices exactly on the plane stay; nothing is added twice.
  ClipToHalfPlane3(sq, {{1, 1, 0}, 2}, out);
  EXPECT_EQ(out, (Polygon3{{0, 0, 0}, {2, 0, 0}, {0, 2, 0}}));
  ClipToHalfPlane3(sq, {{1, 0, 0}, 2}, out);
  EXPECT_EQ(out, sq);
  // A first vertex outside, the next on the plane.
  ClipToHalfPlane3({{3, 0, 0}, {2, 1, 0}, {0, 0, 0}}, {{1, 0, 0}, 2}, out);
  EXPECT_EQ(out, (Polygon3{{2, 1, 0}, {0, 0, 0}, {2, 0, 0}}));
}
