#include "OGL/xcam.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "GenH/mnw.h"
#include "OGL/gl_calls.h"
#include "UTL/cmnd.h"

const double gIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

namespace {
const double k_deg = 0.017453292519943295;

UTL_stat gKillCull("perf/kill_cull", stat_tuning, 0.0f);
UTL_stat gKillClip("perf/kill_clip", stat_tuning, 0.0f);
UTL_stat gExtraNear("shadow/extra_near", stat_tuning, 0.0f);

void normalise(double* v) {
  double l = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
  if (l > 0.0) {
    v[0] /= l;
    v[1] /= l;
    v[2] /= l;
  }
}
void cross(double* out, const double* a, const double* b) {
  double r[3] = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
  memcpy(out, r, sizeof(r));
}
// out = m x (x, y, z, w)
void transform(const double* m, const double* in4, double* out4) {
  double r[4];
  for (int row = 0; row < 4; ++row)
    r[row] = m[row] * in4[0] + m[4 + row] * in4[1] + m[8 + row] * in4[2] + m[12 + row] * in4[3];
  memcpy(out4, r, sizeof(r));
}
double clamp_between(double v, double a, double b) {
  double lo = a < b ? a : b, hi = a < b ? b : a;
  return v < lo ? lo : (v > hi ? hi : v);
}
}  // namespace

// ---------------------------------------------------------------- matrices

void setIdentityMatrix(double* m) { memcpy(m, gIdentity, sizeof(gIdentity)); }
void copyMatrix(double* dst, const double* src) { memmove(dst, src, 16 * sizeof(double)); }

void transposeMatrix(double* dst, const double* src) {
  double t[16];
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) t[r * 4 + c] = src[c * 4 + r];
  memcpy(dst, t, sizeof(t));
}

void addMatrices(double* dst, const double* a, const double* b) {
  for (int i = 0; i < 16; ++i) dst[i] = a[i] + b[i];
}

void multMatrices(double* dst, const double* a, const double* b) {
  double t[16];
  for (int c = 0; c < 4; ++c)
    for (int r = 0; r < 4; ++r) {
      double s = 0;
      for (int k = 0; k < 4; ++k) s += a[k * 4 + r] * b[c * 4 + k];
      t[c * 4 + r] = s;
    }
  memcpy(dst, t, sizeof(t));
}

int invertMatrix(double* dst, const double* src) {
  double w[4][8];
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) {
      w[r][c] = src[c * 4 + r];
      w[r][c + 4] = r == c ? 1.0 : 0.0;
    }
  for (int col = 0; col < 4; ++col) {
    int piv = col;
    for (int r = col + 1; r < 4; ++r)
      if (std::fabs(w[r][col]) > std::fabs(w[piv][col])) piv = r;
    if (w[piv][col] == 0.0) return 0;
    if (piv != col)
      for (int c = 0; c < 8; ++c) std::swap(w[piv][c], w[col][c]);
    double p = w[col][col];
    for (int c = 0; c < 8; ++c) w[col][c] /= p;
    for (int r = 0; r < 4; ++r) {
      if (r == col) continue;
      double f = w[r][col];
      if (f == 0.0) continue;
      for (int c = 0; c < 8; ++c) w[r][c] -= f * w[col][c];
    }
  }
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) dst[c * 4 + r] = w[r][c + 4];
  return 1;
}

void buildFrustumMatrix(double* m, double l, double r, double b, double t, double n, double f) {
  memset(m, 0, 16 * sizeof(double));
  m[0] = 2 * n / (r - l);
  m[5] = 2 * n / (t - b);
  m[8] = (r + l) / (r - l);
  m[9] = (t + b) / (t - b);
  m[10] = -(f + n) / (f - n);
  m[11] = -1;
  m[14] = -2 * f * n / (f - n);
}

void buildPerspectiveMatrix(double* m, double fovy, double aspect, double n, double f) {
  double ymax = std::tan(M_PI * fovy / 360.0) * n;
  buildFrustumMatrix(m, -ymax * aspect, ymax * aspect, -ymax, ymax, n, f);
}

void buildOrthoMatrix(double* m, double l, double r, double b, double t, double n, double f) {
  memset(m, 0, 16 * sizeof(double));
  m[0] = 2 / (r - l);
  m[5] = 2 / (t - b);
  m[10] = -2 / (f - n);
  m[12] = -(r + l) / (r - l);
  m[13] = -(t + b) / (t - b);
  m[14] = -(f + n) / (f - n);
  m[15] = 1;
}

void buildLookAtMatrix(double* m, double ex, double ey, double ez, double cx, double cy, double cz,
                       double ux, double uy, double uz) {
  double z[3] = {ex - cx, ey - cy, ez - cz};
  normalise(z);
  double up[3] = {ux, uy, uz}, x[3], y[3];
  cross(x, up, z);
  cross(y, z, x);
  normalise(x);
  normalise(y);
  const double eye[3] = {ex, ey, ez};
  for (int c = 0; c < 3; ++c) {
    m[c * 4 + 0] = x[c];
    m[c * 4 + 1] = y[c];
    m[c * 4 + 2] = z[c];
    m[c * 4 + 3] = 0;
  }
  m[12] = -(x[0] * eye[0] + x[1] * eye[1] + x[2] * eye[2]);
  m[13] = -(y[0] * eye[0] + y[1] * eye[1] + y[2] * eye[2]);
  m[14] = -(z[0] * eye[0] + z[1] * eye[1] + z[2] * eye[2]);
  m[15] = 1;
}

void buildRotation(double* m, double angle, double x, double y, double z) {
  setIdentityMatrix(m);
  double sn = std::sin(angle * k_deg), cs = std::cos(angle * k_deg);
  if (y == 0 && z == 0 && x != 0) {
    m[5] = m[10] = cs;
    if (x < 0) m[9] = sn, m[6] = -sn;
    else m[6] = sn, m[9] = -sn;
  } else if (x == 0 && z == 0 && y != 0) {
    m[0] = m[10] = cs;
    if (y < 0) m[2] = sn, m[8] = -sn;
    else m[8] = sn, m[2] = -sn;
  } else if (x == 0 && y == 0 && z != 0) {
    m[0] = m[5] = cs;
    if (z < 0) m[4] = sn, m[1] = -sn;
    else m[1] = sn, m[4] = -sn;
  } else {
    double len = std::sqrt(x * x + y * y + z * z);
    if (!(len > 1e-4)) return;
    x /= len;
    y /= len;
    z /= len;
    double k = 1 - cs;
    m[0] = x * x * k + cs;
    m[4] = x * y * k - z * sn;
    m[8] = x * z * k + y * sn;
    m[1] = x * y * k + z * sn;
    m[5] = y * y * k + cs;
    m[9] = y * z * k - x * sn;
    m[2] = x * z * k - y * sn;
    m[6] = y * z * k + x * sn;
    m[10] = z * z * k + cs;
  }
}

void applyRotation(double* m, double angle, double x, double y, double z) {
  double r[16];
  buildRotation(r, angle, x, y, z);
  multMatrices(m, m, r);
}

void applyTranslation(double* m, double x, double y, double z) {
  for (int r = 0; r < 4; ++r) m[12 + r] = x * m[r] + y * m[4 + r] + z * m[8 + r] + m[12 + r];
}

double* vec3_assign(double* v, double x, double y, double z) {
  v[0] = x;
  v[1] = y;
  v[2] = z;
  return v;
}

void printMatrix(const char* title, const double* m) {
  printf("%s\n", title);
  for (int r = 0; r < 4; ++r)
    printf(" [ %f %f %f %f ]\n", m[r], m[4 + r], m[8 + r], m[12 + r]);
  printf("\n");
}

// ------------------------------------------------------------------ camera

xcam_class::xcam_class() {
  memset(static_cast<void*>(this), 0, sizeof(*this));
  setIdentityMatrix(proj);
  setIdentityMatrix(modelview);
  is_ortho = matrices_dirty = modelview_from_gl = true;
}

xcam_class::xcam_class(xcam_class* other) : xcam_class() {
  if (other) *this = *other;
}

void xcam_class::SetupOrtho(double l, double r, double b, double t, double n, double f) {
  is_ortho = true;
  buildOrthoMatrix(proj, l, r, b, t, n, f);
  top = t;
  left = l;
  right = r;
  bottom = b;
  near_z = -n;
  far_z = fake_far_z = -f;
  matrices_dirty = true;
}

void xcam_class::SetupFrustum(double l, double r, double b, double t, double n, double f) {
  is_ortho = false;
  float nl = static_cast<float>(l + 0.45 * (r - l)), nr = static_cast<float>(l + 0.55 * (r - l));
  float nb = static_cast<float>(b + 0.45 * (t - b)), nt = static_cast<float>(b + 0.55 * (t - b));
  nl = static_cast<float>(clamp_between(nl, l, r));
  nr = static_cast<float>(clamp_between(nr, l, r));
  nb = static_cast<float>(clamp_between(nb, b, t));
  nt = static_cast<float>(clamp_between(nt, b, t));
  if (gKillClip.value != 0.0f) buildFrustumMatrix(proj, nl, nr, nb, nt, n, f);
  else buildFrustumMatrix(proj, l, r, b, t, n, f);

  double pl = l, pr = r, pb = b, pt = t;
  if (gKillCull.value != 0.0f) pl = nl, pr = nr, pb = nb, pt = nt;
  double TL[3] = {pl, pt, -n}, TR[3] = {pr, pt, -n}, BL[3] = {pl, pb, -n}, BR[3] = {pr, pb, -n};
  normalise(TL);
  normalise(TR);
  normalise(BL);
  normalise(BR);
  cross(top_normal, TL, TR);
  normalise(top_normal);
  cross(right_normal, TR, BR);
  normalise(right_normal);
  cross(bottom_normal, BR, BL);
  normalise(bottom_normal);
  cross(left_normal, BL, TL);
  normalise(left_normal);
  near_z = -n;
  far_z = fake_far_z = -f;
  matrices_dirty = true;
}

void xcam_class::SetupPerspective(double fovy, double aspect, double n, double f) {
  double ymax = std::tan(M_PI * fovy / 360.0) * n;
  SetupFrustum(-ymax * aspect, ymax * aspect, -ymax, ymax, n, f);
}

void xcam_class::SetFakeFarClippingPlane(double distance) {
  float a = static_cast<float>(-distance), b = static_cast<float>(far_z);
  fake_far_z = a > b ? a : b;
}

void xcam_class::ResetFakeFarClippingPlane() { fake_far_z = far_z; }

int xcam_class::GetFOVHalfCosines(float* h, float* v) const {
  if (is_ortho) return 0;
  if (h) *h = static_cast<float>(0.5 * (left_normal[0] - right_normal[0]));
  if (v) *v = static_cast<float>(0.5 * (bottom_normal[1] - top_normal[1]));
  return 1;
}

void xcam_class::Identity() {
  setIdentityMatrix(modelview);
  matrices_dirty = true;
}

void xcam_class::Translate(double x, double y, double z) {
  applyTranslation(modelview, x, y, z);
  matrices_dirty = true;
}

void xcam_class::Rotate(double angle, double x, double y, double z) {
  applyRotation(modelview, angle, x, y, z);
  matrices_dirty = true;
}

void xcam_class::LookAtPtFromPt(double ex, double ey, double ez, double cx, double cy, double cz,
                                double ux, double uy, double uz) {
  buildLookAtMatrix(modelview, ex, ey, ez, cx, cy, cz, ux, uy, uz);
  matrices_dirty = true;
}

void xcam_class::LookAtPtFromDir(double x, double y, double z, double azimuth, double elevation,
                                 double distance) {
  double az = azimuth * k_deg, el = elevation * k_deg;
  double ex = x + distance * std::cos(el) * std::cos(az);
  double ey = y + distance * std::sin(el);
  double ez = z + distance * std::cos(el) * std::sin(az);
  buildLookAtMatrix(modelview, ex, ey, ez, x, y, z, 0, 1, 0);
  matrices_dirty = true;
}

namespace {
void calc_vector(xcam_class& c, const double* v4, double* out) {
  if (c.modelview_from_gl) {
    if (gl.GetDoublev) gl.GetDoublev(GL_MODELVIEW_MATRIX, c.modelview);
    c.matrices_dirty = true;
    c.modelview_from_gl = false;
  }
  double t[16], r[4];
  transposeMatrix(t, c.modelview);
  transform(t, v4, r);
  out[0] = r[0];
  out[1] = r[1];
  out[2] = r[2];
  normalise(out);
}
}  // namespace

void xcam_class::CalcUp(double out[3]) {
  const double v[4] = {0, 1, 0, 1};
  calc_vector(*this, v, out);
}

void xcam_class::CalcDirection(double out[3]) {
  const double v[4] = {0, 0, -1, 1};
  calc_vector(*this, v, out);
}

void xcam_class::CalcRight(double out[3]) {
  double d[3], u[3];
  CalcDirection(d);
  CalcUp(u);
  cross(out, d, u);
}

void xcam_class::CalcBillboardGround(float right_v[3], float up_v[3]) {
  double d[3], r[3], u[3];
  const double y[3] = {0, 1, 0};
  CalcDirection(d);
  cross(r, d, y);
  normalise(r);
  cross(u, r, d);
  normalise(u);
  for (int i = 0; i < 3; ++i) right_v[i] = static_cast<float>(r[i]), up_v[i] = static_cast<float>(u[i]);
}

void xcam_class::CalcBillboardCamera(float right_v[3], float up_v[3]) {
  double d[3], u[3], r[3];
  CalcDirection(d);
  CalcUp(u);
  cross(r, d, u);
  normalise(r);
  for (int i = 0; i < 3; ++i) right_v[i] = static_cast<float>(r[i]), up_v[i] = static_cast<float>(u[i]);
}

void xcam_class::LookAtCamera(xcam_class* viewer, double* dir, double distance, double& near_out,
                              double& far_out) {
  double ip[16], im[16];
  setIdentityMatrix(ip);  // a singular viewer then gives a usable, if useless, fit
  setIdentityMatrix(im);
  invertMatrix(ip, viewer->proj);
  invertMatrix(im, viewer->modelview);
  const double E[3] = {im[12], im[13], im[14]};
  buildLookAtMatrix(modelview, E[0] - distance * dir[0], E[1] - distance * dir[1],
                    E[2] - distance * dir[2], E[0], E[1], E[2], 0, 1, 0);
  matrices_dirty = true;

  double mn[3] = {0, 0, 0}, mx[3] = {0, 0, 0};
  int first = 1;
  for (int xi = -1; xi <= 1; xi += 2)
    for (int yi = -1; yi <= 1; yi += 2)
      for (int zi = -1; zi <= 1; zi += 2) {
        double p[4] = {double(xi), double(yi), double(zi), 1}, q[4];
        transform(ip, p, q);
        if (q[3] != 0)
          for (int k = 0; k < 3; ++k) q[k] /= q[3];
        q[3] = 1;
        transform(im, q, p);
        transform(modelview, p, q);
        for (int k = 0; k < 3; ++k) {
          if (first || q[k] < mn[k]) mn[k] = q[k];
          if (first || q[k] > mx[k]) mx[k] = q[k];
        }
        first = 0;
      }
  double zmax = mx[2] + gExtraNear.value;
  is_ortho = true;
  buildOrthoMatrix(proj, mn[0], mx[0], mn[1], mx[1], -zmax, -mn[2]);
  top = mx[1];
  left = mn[0];
  right = mx[0];
  bottom = mn[1];
  near_z = zmax;
  far_z = fake_far_z = mn[2];
  matrices_dirty = true;
  near_out = -zmax;
  far_out = -mn[2];
}

void accum_segment(double lo, double hi, const double* p, const double* q, double* box_min,
                   double* box_max) {
  if (p[1] > q[1]) std::swap(p, q);
  auto add = [&](double x, double y, double z) {
    const float v[3] = {float(x), float(y), float(z)};
    for (int k = 0; k < 3; ++k) {
      if (v[k] < box_min[k]) box_min[k] = v[k];
      if (v[k] > box_max[k]) box_max[k] = v[k];
    }
  };
  auto at_level = [&](double level) {
    float dy = float(q[1] - p[1]);
    auto lerp = [&](int k) {
      float r = dy != 0.0f ? float(q[k] - p[k]) / dy * float(level - p[1]) + float(p[k])
                           : float(0.5 * (p[k] + q[k]));
      return clamp_between(r, p[k], q[k]);
    };
    add(lerp(0), level, lerp(2));
  };
  if (p[1] == q[1]) {
    if (lo <= p[1] && p[1] <= hi) {
      add(p[0], p[1], p[2]);
      add(q[0], q[1], q[2]);
    }
    return;
  }
  if (lo != hi) {
    if (lo <= p[1] && p[1] <= hi) add(p[0], p[1], p[2]);
    if (lo <= q[1] && q[1] <= hi) add(q[0], q[1], q[2]);
    if (p[1] < lo && lo < q[1]) at_level(lo);
    if (p[1] < hi && hi < q[1]) at_level(hi);
  } else if (p[1] <= lo && lo <= q[1]) {
    at_level(lo);
  }
}

int xcam_class::GetFrustumBounds(double max_distance, double lo, double hi, double* box_min,
                                 double* box_max) {
  double im[16];
  setIdentityMatrix(im);
  invertMatrix(im, modelview);
  double cut_z = far_z > -max_distance ? far_z : -max_distance;
  double c[8][4];
  if (!is_ortho) {
    double ip[16];
    setIdentityMatrix(ip);
    invertMatrix(ip, proj);
    static const int k[8][3] = {{-1, 1, -1}, {-1, 1, 1},   {1, 1, -1},  {1, 1, 1},
                                {-1, -1, -1}, {-1, -1, 1}, {1, -1, -1}, {1, -1, 1}};
    for (int i = 0; i < 8; ++i) {
      double p[4] = {double(k[i][0]), double(k[i][1]), double(k[i][2]), 1};
      transform(ip, p, c[i]);
      if (c[i][3] != 0)
        for (int j = 0; j < 3; ++j) c[i][j] /= c[i][3];
      c[i][3] = 1;
      if (-max_distance > c[i][2]) {
        float s = float(-max_distance / c[i][2]);
        for (int j = 0; j < 3; ++j) c[i][j] *= s;
      }
    }
  } else {
    // Same corner order as the perspective branch: near (z from near_z),
    // then far (cut_z), for each of the four x/y corners.
    const double xs[4] = {left, left, right, right};
    const double ys[4] = {top, top, top, top};
    const double xs2[4] = {left, left, right, right};
    const double ys2[4] = {bottom, bottom, bottom, bottom};
    for (int i = 0; i < 4; ++i) {
      double z = (i % 2 == 0) ? near_z : cut_z;
      c[i][0] = xs[i], c[i][1] = ys[i], c[i][2] = z, c[i][3] = 1;
      c[i + 4][0] = xs2[i], c[i + 4][1] = ys2[i], c[i + 4][2] = z, c[i + 4][3] = 1;
    }
  }
  double w[8][4];
  for (int i = 0; i < 8; ++i) transform(im, c[i], w[i]);
  for (int k = 0; k < 3; ++k) box_min[k] = 9.9e9, box_max[k] = -9.9e9;
  // Corner i: bit 0 far, top pair 0..3 (x left/right by i/2), bottom 4..7.
  static const int edges[12][2] = {{0, 2}, {2, 6}, {6, 4}, {4, 0},   // near face
                                   {1, 3}, {3, 7}, {7, 5}, {5, 1},   // far face
                                   {0, 1}, {2, 3}, {4, 5}, {6, 7}};  // joining
  for (const auto& e : edges) accum_segment(lo, hi, w[e[0]], w[e[1]], box_min, box_max);
  return box_max[0] >= box_min[0] ? 1 : 0;
}

void xcam_class::mtr_to_pix(double* point, double* out) {
  double p[4] = {point[0], point[1], point[2], 1}, a[4], b[4];
  transform(modelview, p, a);
  transform(proj, a, b);
  if (b[3] != 0) {
    b[0] /= b[3];
    b[1] /= b[3];
  }
  float vp[4] = {0, 0, 0, 0};
  if (gl.GetFloatv) gl.GetFloatv(GL_VIEWPORT, vp);
  out[0] = ((b[0] + 1) * 0.5 * vp[2] + vp[0] - mnw.window_off_x) / mnw.scale;
  out[1] = ((b[1] + 1) * 0.5 * vp[3] + vp[1] - mnw.window_off_y) / mnw.scale;
}
