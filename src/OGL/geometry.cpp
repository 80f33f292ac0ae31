#include "OGL/geometry.h"

#include <algorithm>
#include <tuple>

namespace {
const double k_pi = 3.14159265358979323846;
const float k_pi_f = 3.14159265358979323846f;

double sign_of(double v) { return v > 0 ? 1.0 : (v < 0 ? -1.0 : 0.0); }

double len2(const Vector2& v) { return std::sqrt(v.x * v.x + v.y * v.y); }

// An axis-aligned vector keeps only its sign; any other is made unit length.
Vector2 unit_axis_rule(Vector2 v) {
  if (v.x == 0) {
    v.y = sign_of(v.y);
  } else if (v.y == 0) {
    v.x = sign_of(v.x);
  } else {
    const double l = len2(v);
    if (l != 0) v = v * (1.0 / l);
  }
  return v;
}

// The line a x + b y = r through the segment.
struct line2 {
  double a, b, r;
};
line2 line_of(const Segment2& s) {
  const double a = s.target.y - s.source.y, b = s.source.x - s.target.x;
  return {a, b, a * s.source.x + b * s.source.y};
}

// The line where the planes m1 . x = c1 and m2 . x = c2 meet: base point and
// direction; false when they do not meet in one line.
bool plane_pair_line(const Vector3& m1, double c1, const Vector3& m2, double c2, Point3& base,
                     Vector3& dir) {
  const double m11 = dot(m1, m1), m22 = dot(m2, m2), m12 = dot(m1, m2);
  const double s = m11 * m22 - m12 * m12;
  if (s == 0) return false;
  const double a = (c1 * m22 - c2 * m12) / s, b = (c2 * m11 - c1 * m12) / s;
  const Vector3 v = m1 * a + m2 * b;
  base = {v.x, v.y, v.z};
  dir = cross(m1, m2);
  return true;
}

// Per coordinate, keeping a coordinate equal at both ends exactly.
double lerp_keep(double a, double b, double t) { return a == b ? a : a + t * (b - a); }
Point3 lerp_keep(const Point3& a, const Point3& b, double t) {
  if (t == 0) return a;
  if (t == 1) return b;
  return {lerp_keep(a.x, b.x, t), lerp_keep(a.y, b.y, t), lerp_keep(a.z, b.z, t)};
}
double mean_keep(double a, double b) { return a == b ? a : (a + b) * 0.5; }
}  // namespace

bool Is_CCW_Between(const Vector2& u, const Vector2& v, const Vector2& w) {
  float au = std::atan2(static_cast<float>(u.y), static_cast<float>(u.x));
  float av = std::atan2(static_cast<float>(v.y), static_cast<float>(v.x));
  float aw = std::atan2(static_cast<float>(w.y), static_cast<float>(w.x));
  if (au == aw) return true;
  for (float* a : {&au, &av, &aw})
    if (*a <= -k_pi_f) *a += 2.0f * k_pi_f;
  if (av < au) av += 2.0f * k_pi_f;
  if (aw < au) aw += 2.0f * k_pi_f;
  return av > au && av < aw;
}

Point2 CoordTranslator::Forward(const Point2& p) const {
  return {mDstMin.x + (p.x - mSrcMin.x) * (mDstMax.x - mDstMin.x) / (mSrcMax.x - mSrcMin.x),
          mDstMin.y + (p.y - mSrcMin.y) * (mDstMax.y - mDstMin.y) / (mSrcMax.y - mSrcMin.y)};
}

Point2 CoordTranslator::Reverse(const Point2& p) const {
  return {mSrcMin.x + (p.x - mDstMin.x) * (mSrcMax.x - mSrcMin.x) / (mDstMax.x - mDstMin.x),
          mSrcMin.y + (p.y - mDstMin.y) * (mSrcMax.y - mSrcMin.y) / (mDstMax.y - mDstMin.y)};
}

double LongerSideOfQuad(const std::vector<Point3>& q) {
  if (q.size() < 4) return 0;
  const Vector3 d13 = q[1] - q[3];
  const double t1 = dot(q[0] - q[3], d13) / squared_length(d13);
  if (!(t1 < 1)) {
    const Vector3 d02 = q[0] - q[2];
    const double t2 = dot(q[1] - q[2], d02) / squared_length(d02);
    return std::sqrt(squared_distance(q[0], q[2] + d02 * t2));
  }
  return -std::sqrt(squared_distance(q[1], q[3] + d13 * t1));
}

void MoveSegLeft(const Segment2& in, double dist, Segment2& out) {
  const Vector2 n = unit_axis_rule({-(in.target.y - in.source.y), in.target.x - in.source.x});
  out.source = in.source + n * dist;
  out.target = in.target + n * dist;
}

void MoveSegLeft(const Segment3& in, double dist, Segment3& out, const Vector3& up) {
  const Vector3 n = unit(cross(up, in.target - in.source));
  const Segment3 s = in;  // out may be in
  out.source = s.source + n * dist;
  out.target = s.target + n * dist;
}

double CalcMaxInset(const Polygon2& poly, const double* weights, bool closed) {
  const int n = static_cast<int>(poly.size());
  if (closed ? n == 0 : n < 2) return 0;
  const int edges = closed ? n : n - 1;
  auto weight = [&](int e) { return weights ? weights[e] : 1.0; };
  auto dir = [&](int e) {
    const Point2& a = poly[e];
    const Point2& b = poly[(e + 1) % n];
    return std::atan2(static_cast<float>(b.y - a.y), static_cast<float>(b.x - a.x));
  };
  // Interior angle at the joint of edge e_in with edge e_out.
  auto corner = [&](int e_in, int e_out) {
    double a = k_pi - (static_cast<double>(dir(e_out)) - static_cast<double>(dir(e_in)));
    if (a > k_pi) a -= 2 * k_pi;
    return a;
  };
  double best = 0;
  bool have = false;
  for (int e = 0; e < edges; ++e) {
    const bool near_end = closed || e > 0;
    const bool far_end = closed || e < edges - 1;
    const int prev = (e + edges - 1) % edges, next = (e + 1) % edges;
    double rate = 0;
    // Each end shrinks the edge by its own weight's cotangent term and the
    // neighbour's weight over the sine.
    if (near_end) {
      const double th = corner(prev, e);
      rate += weight(e) / std::tan(th) + weight(prev) / std::sin(th);
    }
    if (far_end) {
      const double th = corner(e, next);
      rate += weight(e) / std::tan(th) + weight(next) / std::sin(th);
    }
    if (rate > 0) {
      const Point2& a = poly[e];
      const Point2& b = poly[(e + 1) % n];
      const double d = len2(b - a) / rate;
      if (!have || d < best) best = d;
      have = true;
    }
  }
  return best;
}

void ReducePolygon(Polygon2& poly, double a, double b, double min_len, double max_len) {
  for (bool removed = true; removed;) {
    removed = false;
    for (size_t i = 0; i < poly.size();) {
      // A triangle is the smallest polygon: never reduce below it.
      if (poly.size() <= 3) return;
      const size_t n = poly.size();
      const Point2& p = poly[(i + n - 1) % n];
      const Point2& c = poly[i];
      const Point2& q = poly[(i + 1) % n];
      const Vector2 e1 = c - p, e2 = q - c;
      const double l1 = len2(e1), l2 = len2(e2);
      bool drop;
      if (l1 < min_len || l2 < min_len) {
        drop = true;
      } else if (l1 > max_len && l2 > max_len) {
        drop = false;
      } else {
        const Vector2 chord = q - p, pc = c - p;
        const double cl2 = chord.x * chord.x + chord.y * chord.y;
        const double cr = chord.x * pc.y - chord.y * pc.x;
        const double d2 = cl2 != 0 ? cr * cr / cl2 : pc.x * pc.x + pc.y * pc.y;
        const Vector2 u1 = unit_axis_rule(e1), u2 = unit_axis_rule(e2);
        drop = d2 < a && (u1.x * u2.x + u1.y * u2.y) > b;
      }
      if (drop) {
        poly.erase(poly.begin() + static_cast<long>(i));
        removed = true;
      } else {
        ++i;
      }
    }
  }
}

void InsetPolygon(const Polygon2& poly, const double* weights, double dist, bool closed,
                  Polygon2& out, inset_cap_fn callback, void* ref) {
  out.clear();
  const int n = static_cast<int>(poly.size());
  if (n < 2) return;
  std::vector<Segment2> edge(n), off(n);
  for (int k = 0; k < n; ++k) {
    edge[k] = {poly[k], poly[(k + 1) % n]};
    MoveSegLeft(edge[k], dist * (weights ? weights[k] : 1.0), off[k]);
  }
  int caps = 0;
  for (int k = 0; k < n; ++k) {
    const int j = k == 0 ? n - 1 : k - 1;
    const double wk = weights ? weights[k] : 1.0;
    if (!closed && k == 0) {
      out.push_back(off[0].source);
    } else if (!closed && k == n - 1) {
      out.push_back(off[j].target);
    } else if (edge[j].source == edge[k].target) {
      Segment2 cap;
      MoveSegLeft({off[j].target, off[k].source}, dist * wk, cap);
      out.push_back(cap.source);
      out.push_back(cap.target);
      if (callback) callback(caps + k, ref);
      ++caps;
    } else {
      const line2 lj = line_of(off[j]), lk = line_of(off[k]);
      const double det = lj.a * lk.b - lk.a * lj.b;
      if (det == 0) continue;  // collinear edges: the vertex goes
      out.push_back({(lj.r * lk.b - lk.r * lj.b) / det, (lj.a * lk.r - lk.a * lj.r) / det});
    }
  }
}

void InsetPolygon(const Polygon3& poly, const double* weights, double dist, bool closed,
                  const Vector3& up, Polygon3& out) {
  out.clear();
  const int n = static_cast<int>(poly.size());
  if (n < 2) return;
  std::vector<Segment3> edge(n), off(n);
  for (int k = 0; k < n; ++k) {
    edge[k] = {poly[k], poly[(k + 1) % n]};
    MoveSegLeft(edge[k], dist * (weights ? weights[k] : 1.0), off[k], up);
  }
  for (int k = 0; k < n; ++k) {
    const int j = k == 0 ? n - 1 : k - 1;
    const double wk = weights ? weights[k] : 1.0;
    if (!closed && k == 0) {
      out.push_back(off[0].source);
    } else if (!closed && k == n - 1) {
      out.push_back(off[j].target);
    } else if (edge[j].source == edge[k].target) {
      Segment3 cap;
      MoveSegLeft({off[j].target, off[k].source}, dist * wk, cap, up);
      out.push_back(cap.source);
      out.push_back(cap.target);
    } else {
      const Vector3 dj = off[j].target - off[j].source, dk = off[k].target - off[k].source;
      const Vector3 nrm = unit(cross(dj, up));
      const double den = dot(nrm, dk);
      if (den == 0) continue;
      const double s = dot(nrm, off[j].target - off[k].source) / den;
      out.push_back(off[k].source + dk * s);
    }
  }
}

void ReverseQuadStrip(QuadStrip& strip) { std::reverse(strip.begin(), strip.end()); }

void ExtendBoundingSphereToPt1(const Point3& p, Sphere3& s) {
  const double r = std::sqrt(s.radius_squared);
  const Vector3 d = unit(p - s.c);
  const Point3 f = s.c - d * r;
  s.c = {mean_keep(f.x, p.x), mean_keep(f.y, p.y), mean_keep(f.z, p.z)};
  s.radius_squared = squared_distance(p, s.c);
}

void ExtendBoundingSphereToPt(const Point3& p, Sphere3& s) {
  if (squared_distance(p, s.c) > s.radius_squared) ExtendBoundingSphereToPt1(p, s);
}

void ExtendBoundingSphereToSphere(const Sphere3& src, Sphere3& dst) {
  if (src.radius_squared == 0) return;
  if (dst.radius_squared == 0) {
    dst = src;
    return;
  }
  const double rs = std::sqrt(src.radius_squared), rd = std::sqrt(dst.radius_squared);
  const double dd = squared_distance(src.c, dst.c);
  if ((rd - rs) * (rd - rs) >= dd) {
    // One holds the other: the larger one is the answer.
    if (rs > rd) dst = src;
    return;
  }
  const Vector3 d = unit(src.c - dst.c);
  const Point3 f1 = dst.c - d * rd, f2 = src.c + d * rs;
  dst.c = {mean_keep(f1.x, f2.x), mean_keep(f1.y, f2.y), mean_keep(f1.z, f2.z)};
  dst.radius_squared = squared_distance(f1, dst.c);
}

void FastBoundingSphere(const std::vector<Point3>& pts, Sphere3& s) {
  if (pts.empty()) return;
  std::vector<Point3> v = pts;
  std::sort(v.begin(), v.end(), [](const Point3& a, const Point3& b) {
    return std::tie(a.x, a.y, a.z) < std::tie(b.x, b.y, b.z);
  });
  const Point3& first = v.front();
  const Point3& last = v.back();
  s.c = {mean_keep(first.x, last.x), mean_keep(first.y, last.y), mean_keep(first.z, last.z)};
  s.radius_squared = squared_distance(first, s.c);
  for (size_t i = 1; i + 1 < v.size(); ++i) ExtendBoundingSphereToPt(v[i], s);
}

bool PointInPolygon3(const Polygon3& poly, const Point3& p) {
  if (poly.size() < 3) return false;
  const Vector3 n = unit(cross(poly[1] - poly[0], poly[1] - poly[2]));
  for (size_t i = 0; i < poly.size(); ++i) {
    const Point3& a = poly[i];
    const Point3& b = poly[(i + 1) % poly.size()];
    if (dot(unit(cross(n, b - a)), p - a) > 0) return false;
  }
  return true;
}

bool IntersectLinesAroundJunction(const Line3& l1, const Line3& l2, const Point3& junction,
                                  Point3& out) {
  const Vector3 nn = cross(l1.d, l2.d);
  if (nn == Vector3{}) return false;
  const Vector3 n = unit(nn);
  const Vector3 m1 = unit(cross(l1.d, n)), m2 = unit(cross(l2.d, n));
  if (m1 == m2) return false;
  Point3 base;
  Vector3 t;
  if (!plane_pair_line(m1, dot(m1, to_vec(l1.p)), m2, dot(m2, to_vec(l2.p)), base, t))
    return false;
  const double x = dot(n, t);
  if (x == 0) return false;
  out = base + t * ((dot(n, to_vec(junction)) - dot(n, to_vec(base))) / x);
  return true;
}

void BezierCurve(const Point3& p1, const Point3& p2, bool has_c1, bool has_c2, const Point3& c1,
                 const Point3& c2, int count, double min_start, double min_end,
                 std::vector<Point3>& out) {
  out.clear();
  out.push_back(p1);
  const Point3 k1 = has_c1 ? c1 : p1, k2 = has_c2 ? c2 : p2;
  int n = 1;
  if (has_c1)
    n = std::max(count, 1);
  else if (has_c2 && count > 0)
    n = count;
  const Vector3 chord = p2 - p1;
  if (cross(chord, k1 - p1) == Vector3{} && cross(chord, k2 - p1) == Vector3{}) n = 1;
  for (int i = 1; i < n; ++i) {
    const float t = static_cast<float>(i) / static_cast<float>(n);
    const float s = 1.0f - t;
    const double w0 = static_cast<double>(s) * s * s, w3 = static_cast<double>(t) * t * t;
    const float w1 = 3.0f * s * s * t, w2 = 3.0f * s * t * t;
    const Point3 q = {w0 * p1.x + w1 * k1.x + w2 * k2.x + w3 * p2.x,
                      w0 * p1.y + w1 * k1.y + w2 * k2.y + w3 * p2.y,
                      w0 * p1.z + w1 * k1.z + w2 * k2.z + w3 * p2.z};
    const double ds = std::sqrt(squared_distance(q, p1)), de = std::sqrt(squared_distance(q, p2));
    if (min_start > 0 && ds < min_start) continue;
    if (min_end > 0 && de < min_end) continue;
    out.push_back(q);
  }
  out.push_back(p2);
}

void ChainToQuadStrip(const std::vector<Point3>& pts, const std::vector<Vector3>& ups,
                      const std::vector<double>& widths, QuadStrip& out) {
  const size_t n = pts.size();
  if (n < 2 || ups.size() < n || widths.size() < n) return;
  out.clear();
  auto end_pair = [&](size_t i, const Vector3& d) {
    const Vector3 s = unit(cross(d, ups[i])) * (0.5 * widths[i]);
    out.push_back(pts[i] + s);
    out.push_back(pts[i] - s);
  };
  end_pair(0, pts[1] - pts[0]);
  for (size_t i = 1; i + 1 < n; ++i) {
    const Point3& p = pts[i];
    const Vector3 d_in = unit(p - pts[i - 1]), d_out = unit(pts[i + 1] - p);
    const Vector3 s_in = unit(cross(d_in, ups[i])), s_out = unit(cross(d_out, ups[i]));
    const double k = dot(s_in, s_out), h = 0.5 * widths[i];
    if (k > 0.9995) {
      out.push_back(p + s_in * h);
      out.push_back(p - s_in * h);
      continue;
    }
    if (k < -0.9995) {
      for (const Vector3& s : {s_in, s_out}) {
        out.push_back(p + s * h);
        out.push_back(p - s * h);
      }
      continue;
    }
    const Vector3 nu = unit(ups[i]);
    const Vector3 pv = to_vec(p);
    for (double sigma : {1.0, -1.0}) {
      const Point3 on_in = p + s_in * (sigma * h);
      Point3 base;
      Vector3 dir;
      const bool met = !(s_in == s_out) && plane_pair_line(s_in, dot(s_in, pv) + sigma * h, s_out,
                                                           dot(s_out, pv) + sigma * h, base, dir);
      if (!met) {
        base = on_in;
        dir = ups[i];
      }
      const double x = dot(nu, dir);
      if (x == 0)
        out.push_back(on_in);
      else
        out.push_back(base + dir * ((dot(nu, pv) - dot(nu, to_vec(base))) / x));
    }
  }
  end_pair(n - 1, pts[n - 1] - pts[n - 2]);
}

void RemoveFromQuadStripFront(QuadStrip& strip, double len, QuadStrip& removed,
                              bool use_longer_side) {
  removed.clear();
  if (strip.size() < 4 || !(len > 0)) return;
  double cut_l = len, cut_r = len;
  if (use_longer_side) {
    const double e = LongerSideOfQuad(strip);
    if (e >= 0)
      cut_l = len + e;
    else
      cut_r = len - e;
  }
  // Walks one side (points first, first + 2, ...): the strip index starting
  // the cut segment and the cut point, or false.
  auto find_cut = [&](size_t first, double cut, bool strict, size_t& j, Point3& at) {
    double sum = 0;
    for (size_t i = first; i + 2 < strip.size(); i += 2) {
      const double l = std::sqrt(squared_distance(strip[i], strip[i + 2]));
      const double before = sum;
      sum += l;
      if (strict ? sum > cut : sum >= cut) {
        j = i;
        at = lerp_keep(strip[i], strip[i + 2], l != 0 ? (cut - before) / l : 1.0);
        return true;
      }
    }
    return false;
  };
  size_t jl, jr;
  Point3 pl, pr;
  if (!find_cut(0, cut_l, false, jl, pl) || !find_cut(1, cut_r, true, jr, pr)) return;
  const size_t keep_to = std::min(jr, jl + 1), drop_to = std::max(jr, jl + 1);
  removed.assign(strip.begin(), strip.begin() + static_cast<long>(keep_to + 1));
  removed.push_back(pl);
  removed.push_back(pr);
  strip.erase(strip.begin(), strip.begin() + static_cast<long>(std::min(drop_to + 1, strip.size())));
  if ((!strip.empty() && strip[0] == pl) || (strip.size() > 1 && strip[1] == pr)) return;
  strip.insert(strip.begin(), {pl, pr});
}

void RemoveFromQuadStripBack(QuadStrip& strip, double len, QuadStrip& removed,
                             bool use_longer_side) {
  ReverseQuadStrip(strip);
  RemoveFromQuadStripFront(strip, len, removed, use_longer_side);
  ReverseQuadStrip(strip);
}

void ClipToHalfPlane3(const Polygon3& in, const Plane3& plane, Polygon3& out) {
  out.clear();
  const size_t n = in.size();
  for (size_t i = 0; i < n; ++i) {
    const Point3& a = in[i];
    const Point3& b = in[(i + 1) % n];
    const double sa = dot(plane.n, to_vec(a)) - plane.d, sb = dot(plane.n, to_vec(b)) - plane.d;
    if (sa <= 0) out.push_back(a);
    // Only an edge that really crosses adds a point: a vertex on the plane is
    // kept as a vertex, not as a crossing.
    if (!((sa < 0 && sb > 0) || (sa > 0 && sb < 0))) continue;
    const double den = dot(plane.n, b - a);
    if (den == 0) continue;
    const double t = (plane.d - dot(plane.n, to_vec(a))) / den;
    if (t < 0 || t > 1) continue;
    const Point3 x = {a.x * (1 - t) + b.x * t, a.y * (1 - t) + b.y * t, a.z * (1 - t) + b.z * t};
    if (!(x == a) && !(x == b)) out.push_back(x);
  }
}
