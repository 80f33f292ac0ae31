#include <cmath>

#include "OGL/gl_calls.h"
#include "OGL/xcam.h"
#include "support/gl_harness.h"
#include "support/test_util.h"

namespace {
void expect_matrix_near(const double* a, const double* b, double tol) {
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(a[i], b[i], tol) << "element " << i;
}
}  // namespace

TEST(Matrices, InverseTimesMatrixIsIdentityAndSingularLeavesOutput) {
  double m[16], r[16], inv[16], p[16];
  buildRotation(r, 37, 1, 2, 3);
  buildFrustumMatrix(m, -2, 3, -1, 1.5, 0.5, 90);
  multMatrices(m, m, r);  // the output may be an input
  applyTranslation(m, 4, -5, 6);
  ASSERT_EQ(invertMatrix(inv, m), 1);
  multMatrices(p, inv, m);
  expect_matrix_near(p, gIdentity, 1e-12);
  multMatrices(p, m, inv);
  expect_matrix_near(p, gIdentity, 1e-12);

  double zero[16] = {0}, out[16];
  for (double& v : out) v = 7;
  EXPECT_EQ(invertMatrix(out, zero), 0);
  for (double v : out) EXPECT_EQ(v, 7);  // not written
  double rank3[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
  EXPECT_EQ(invertMatrix(out, rank3), 0);
  EXPECT_EQ(invertMatrix(out, gIdentity), 1);
  expect_matrix_near(out, gIdentity, 0);
}

TEST(Matrices, RotationsLookAtAndTranspose) {
  double m[16];
  buildRotation(m, 30, 0, 0, 0);
  expect_matrix_near(m, gIdentity, 0);
  buildRotation(m, 30, 0, 0, 5e-5);  // along z only: not the short-axis rule
  EXPECT_NEAR(m[1], 0.5, 1e-12);
  buildRotation(m, 30, 1e-5, 0, 5e-5);  // shorter than 1e-4
  expect_matrix_near(m, gIdentity, 0);
  double a[16], b[16];
  buildRotation(a, 30, 0, 0, 1);
  buildRotation(b, 30, 0, 0, -1);
  EXPECT_NEAR(a[1], 0.5, 1e-12);
  EXPECT_NEAR(b[1], -0.5, 1e-12);  // the other way round
  // The general axis formula agrees with the axis-only rule.
  double c[16];
  buildRotation(c, 30, 0, 1e-9, 1);
  expect_matrix_near(c, a, 1e-8);

  buildLookAtMatrix(m, 1, 2, 3, 1, 2, 3, 0, 1, 0);  // eye on the centre
  for (double v : m) EXPECT_FALSE(std::isnan(v));
  buildLookAtMatrix(m, 0, 0, 5, 0, 0, 0, 0, 1, 0);
  double t[16];
  setIdentityMatrix(t);
  applyTranslation(t, 0, 0, -5);
  expect_matrix_near(m, t, 1e-12);
  transposeMatrix(t, m);
  EXPECT_EQ(t[3], m[12]);
  transposeMatrix(t, t);  // in place
  expect_matrix_near(t, m, 0);
}

TEST(Camera, FrustumOrthoAndFakeFar) {
  xcam_class c;
  c.SetupPerspective(90, 1, 1, 100);
  EXPECT_FALSE(c.is_ortho);
  EXPECT_NEAR(c.proj[0], 1, 1e-12);  // extents -1..1
  EXPECT_NEAR(c.proj[5], 1, 1e-12);
  float h = 0, v = 0;
  EXPECT_EQ(c.GetFOVHalfCosines(&h, &v), 1);
  EXPECT_NEAR(h, 1 / std::sqrt(2.0), 1e-6);
  EXPECT_NEAR(v, 1 / std::sqrt(2.0), 1e-6);
  c.SetFakeFarClippingPlane(500);
  EXPECT_EQ(c.fake_far_z, c.far_z);
  c.SetFakeFarClippingPlane(10.1);
  EXPECT_EQ(c.fake_far_z, static_cast<float>(-10.1));
  c.ResetFakeFarClippingPlane();
  EXPECT_EQ(c.fake_far_z, -100);

  c.SetupOrtho(0, 800, 0, 600, -1, 1);
  h = v = 3;
  EXPECT_EQ(c.GetFOVHalfCosines(&h, &v), 0);
  EXPECT_EQ(h, 3);
  EXPECT_EQ(c.near_z, 1);
  xcam_class copy(&c), none(static_cast<xcam_class*>(nullptr));
  EXPECT_EQ(copy.right, 800);
  EXPECT_TRUE(none.is_ortho);
  expect_matrix_near(none.proj, gIdentity, 0);
}

TEST(Camera, SegmentsAndFrustumBounds) {
  double mn[3] = {9e9, 9e9, 9e9}, mx[3] = {-9e9, -9e9, -9e9};
  const double a[3] = {0, 5, 0}, b[3] = {1, 6, 1};
  accum_segment(0, 1, a, b, mn, mx);  // entirely above
  EXPECT_GT(mn[0], mx[0]);
  const double p[3] = {0, 2, 0}, q[3] = {4, 2, 8};
  accum_segment(2, 2, p, q, mn, mx);  // horizontal at lo = hi: both ends
  EXPECT_EQ(mn[0], 0);
  EXPECT_EQ(mx[2], 8);
  double mn2[3] = {9e9, 9e9, 9e9}, mx2[3] = {-9e9, -9e9, -9e9};
  const double s[3] = {0, 0, 0}, t[3] = {10, 10, 0};
  accum_segment(2, 4, t, s, mn2, mx2);  // crosses the slab: the two cut points
  EXPECT_NEAR(mn2[0], 2, 1e-6);
  EXPECT_NEAR(mx2[0], 4, 1e-6);

  xcam_class c;
  c.SetupPerspective(90, 1, 1, 100);
  c.Identity();
  double bmin[3], bmax[3];
  EXPECT_EQ(c.GetFrustumBounds(50, -1000, 1000, bmin, bmax), 1);
  EXPECT_NEAR(bmin[2], -50, 1e-3);  // cut at the distance
  EXPECT_NEAR(bmax[2], -1, 1e-3);
  EXPECT_EQ(c.GetFrustumBounds(50, 2000, 3000, bmin, bmax), 0);  // no edge reaches the slab
  c.SetupOrtho(-10, 10, -5, 5, 1, 30);
  EXPECT_EQ(c.GetFrustumBounds(20, -1000, 1000, bmin, bmax), 1);
  EXPECT_NEAR(bmin[0], -10, 1e-6);
  EXPECT_NEAR(bmin[2], -20, 1e-6);
  EXPECT_NEAR(bmax[2], -1, 1e-6);

  // A shadow camera around a singular viewer still gets usable matrices.
  xcam_class viewer, shadow;
  memset(viewer.proj, 0, sizeof(viewer.proj));
  double dir[3] = {0.6, -0.8, 0}, n = 0, f = 0;
  shadow.LookAtCamera(&viewer, dir, 10, n, f);
  for (double e : shadow.proj) EXPECT_FALSE(std::isnan(e));
}

// The builders load what Mesa's own glFrustum and glOrtho load.
TEST_F(GlWindow, FrustumAndOrthoMatchTheDriver) {
  double mine[16], theirs[16];
  gl.MatrixMode(GL_PROJECTION);
  gl.LoadIdentity();
  gl.Frustum(-2, 3, -1, 1.5, 0.5, 90);
  gl.GetDoublev(GL_PROJECTION_MATRIX, theirs);
  buildFrustumMatrix(mine, -2, 3, -1, 1.5, 0.5, 90);
  expect_matrix_near(mine, theirs, 1e-5);
  gl.LoadIdentity();
  gl.Ortho(0, 800, 0, 600, -1, 1);
  gl.GetDoublev(GL_PROJECTION_MATRIX, theirs);
  buildOrthoMatrix(mine, 0, 800, 0, 600, -1, 1);
  expect_matrix_near(mine, theirs, 1e-6);

  // mtr_to_pix inverts the 2D projection: a unit point lands on itself.
  xcam.SetupOrtho(0, 800, 0, 600, -1, 1);
  xcam.Identity();
  gl.Viewport(0, 0, 800, 600);
  double pt[3] = {120, 340, 0}, out[2];
  xcam.mtr_to_pix(pt, out);
  EXPECT_NEAR(out[0], 120, 1e-3);
  EXPECT_NEAR(out[1], 340, 1e-3);
}
