// The camera: projection and modelview matrices as OpenGL loads them (16
// doubles, column-major: element (row r, column c) is m[c*4+r]), with the clip
// values and frustum planes derived from them, and the 4x4 matrix library.
#pragma once

class xcam_class {
 public:
  xcam_class();
  explicit xcam_class(xcam_class* other);
  xcam_class(const xcam_class&) = default;
  xcam_class& operator=(const xcam_class&) = default;

  void SetupOrtho(double left, double right, double bottom, double top, double near_d,
                  double far_d);
  void SetupFrustum(double left, double right, double bottom, double top, double near_d,
                    double far_d);
  void SetupPerspective(double fovy, double aspect, double near_d, double far_d);
  void SetFakeFarClippingPlane(double distance);
  void ResetFakeFarClippingPlane();
  // 0 for an orthographic camera (nothing written), else 1 and the half
  // cosines of the horizontal and vertical fields of view.
  int GetFOVHalfCosines(float* h, float* v) const;

  void Identity();
  void Translate(double x, double y, double z);
  void Rotate(double angle, double x, double y, double z);
  void LookAtPtFromPt(double ex, double ey, double ez, double cx, double cy, double cz, double ux,
                      double uy, double uz);
  void LookAtPtFromDir(double x, double y, double z, double azimuth, double elevation,
                       double distance);

  void CalcUp(double out[3]);
  void CalcDirection(double out[3]);
  void CalcRight(double out[3]);
  void CalcBillboardGround(float right[3], float up[3]);
  void CalcBillboardCamera(float right[3], float up[3]);

  // Fits this camera as an orthographic shadow camera around what viewer sees.
  void LookAtCamera(xcam_class* viewer, double* dir, double distance, double& near_out,
                    double& far_out);
  // World box of the view volume cut at max_distance and to the slab lo..hi
  // of y; whether it is non-empty.
  int GetFrustumBounds(double max_distance, double lo, double hi, double* box_min,
                       double* box_max);
  // A world point in interface units of the window.
  void mtr_to_pix(double* point, double* out);

  bool is_ortho;
  double near_z, far_z, fake_far_z;
  double top_normal[3], left_normal[3], right_normal[3], bottom_normal[3];
  double top, left, right, bottom;
  bool matrices_dirty;
  bool modelview_from_gl;
  double proj[16];
  double modelview[16];
};

extern xcam_class xcam;
extern const double gIdentity[16];

void accum_segment(double lo, double hi, const double* p, const double* q, double* box_min,
                   double* box_max);

void setIdentityMatrix(double* m);
void copyMatrix(double* dst, const double* src);
void transposeMatrix(double* dst, const double* src);
void addMatrices(double* dst, const double* a, const double* b);
// dst = a x b. dst may be a or b: the product is formed aside first.
void multMatrices(double* dst, const double* a, const double* b);
// 1 and the inverse, or 0 for a singular matrix (dst is then not written:
// callers that go on regardless start it as the identity).
int invertMatrix(double* dst, const double* src);
void buildFrustumMatrix(double* m, double l, double r, double b, double t, double n, double f);
void buildPerspectiveMatrix(double* m, double fovy, double aspect, double n, double f);
void buildOrthoMatrix(double* m, double l, double r, double b, double t, double n, double f);
void buildLookAtMatrix(double* m, double ex, double ey, double ez, double cx, double cy, double cz,
                       double ux, double uy, double uz);
void buildRotation(double* m, double angle, double x, double y, double z);
void applyRotation(double* m, double angle, double x, double y, double z);
void applyTranslation(double* m, double x, double y, double z);
double* vec3_assign(double* v, double x, double y, double z);
void printMatrix(const char* title, const double* m);
