// The plane affine transform: building, decomposing, composing, inverting and
// applying it.
#include "math/Transform2D.h"

#include <cmath>

namespace KXMath {

namespace {

constexpr double kSingularRatio = 1e-13;

bool ToLongCoordinate(double x, std::int32_t& out, IntRounding rounding) noexcept
{
    return SaturateToLong(rounding == IntRounding::kNearest ? std::floor(x + 0.5) : std::trunc(x), out);
}

// Stores the mapped (x, y) into p; x is h, y is v.
bool StoreLongPoint(double x, double y, LongPoint& p, IntRounding rounding) noexcept
{
    const bool hFits = ToLongCoordinate(x, p.h, rounding);
    const bool vFits = ToLongCoordinate(y, p.v, rounding);
    return hFits && vFits;
}

bool MapLongPoint(const Transform2D& t, LongPoint& p, IntRounding rounding, bool inverse) noexcept
{
    double x = p.h;
    double y = p.v;
    if (inverse)
        ApplyInverse(t, x, y);
    else
        Apply(t, x, y);
    return StoreLongPoint(x, y, p, rounding);
}

bool MapLongShape(const Transform2D& t, LongCorners& shape, IntRounding rounding, bool inverse) noexcept
{
    bool fits = true;
    for (LongPoint& p : shape)
        fits &= MapLongPoint(t, p, rounding, inverse);
    return fits;
}

LongCorners CornersOf(const LongRect& r) noexcept
{
    return {LongPoint{r.left, r.top}, LongPoint{r.right, r.top}, LongPoint{r.right, r.bottom},
            LongPoint{r.left, r.bottom}};
}

DoubleCorners CornersOf(const DoubleRect& r) noexcept
{
    return {DoublePoint{r.top, r.left}, DoublePoint{r.top, r.right}, DoublePoint{r.bottom, r.right},
            DoublePoint{r.bottom, r.left}};
}

} // namespace

Transform2D IdentityTransform2D() noexcept
{
    return Transform2D{};
}

Transform2D SetTransform2D(double a, double b, double c, double d, double tx, double ty) noexcept
{
    return Transform2D{a, b, c, d, tx, ty};
}

Transform2D Rotation2D(double angle, bool mirror, double tx, double ty) noexcept
{
    const double s = std::sin(-angle);
    const double k = std::cos(-angle);
    if (mirror)
        return Transform2D{k, s, s, -k, tx, ty};
    return Transform2D{k, s, -s, k, tx, ty};
}

void Decompose2D(const Transform2D& t, double& angle, bool& mirrored, double& tx, double& ty) noexcept
{
    mirrored = t.d * t.a - t.b * t.c < 0;
    angle = -std::atan2(t.c, t.a);
    tx = t.tx;
    ty = t.ty;
}

bool NearlyEqual(const Transform2D& t1, const Transform2D& t2) noexcept
{
    return NearlyEqual(t1.a, t2.a) && NearlyEqual(t1.b, t2.b) && NearlyEqual(t1.c, t2.c) && NearlyEqual(t1.d, t2.d) &&
           NearlyEqual(t1.tx, t2.tx) && NearlyEqual(t1.ty, t2.ty);
}

Transform2D Compose2D(const Transform2D& t1, const Transform2D& t2) noexcept
{
    return Transform2D{t1.a * t2.a + t1.b * t2.c,
                       t1.a * t2.b + t1.b * t2.d,
                       t1.c * t2.a + t1.d * t2.c,
                       t1.c * t2.b + t1.d * t2.d,
                       t1.tx * t2.a + t1.ty * t2.c + t2.tx,
                       t1.tx * t2.b + t1.ty * t2.d + t2.ty};
}

bool Invert2D(const Transform2D& t, Transform2D& out) noexcept
{
    for (double value : {t.a, t.b, t.c, t.d, t.tx, t.ty}) {
        if (!std::isfinite(value))
            return false;
    }
    // The determinant's two terms kept apart by sign: their magnitudes say how
    // large a determinant the matrix could have, so a cancelling one is
    // recognised as singular whatever the matrix's scale.
    double positive = 0;
    double negative = 0;
    for (double term : {t.a * t.d, -(t.b * t.c)}) {
        if (term >= 0)
            positive += term;
        else
            negative += term;
    }
    const double magnitude = positive - negative;
    if (magnitude == 0)
        return false;
    const double det = positive + negative;
    if (std::fabs(det / magnitude) <= kSingularRatio)
        return false;
    Transform2D inverse{t.d / det, -t.b / det, -t.c / det, t.a / det, 0, 0};
    inverse.tx = -(t.tx * inverse.a + t.ty * inverse.c);
    inverse.ty = -(t.tx * inverse.b + t.ty * inverse.d);
    out = inverse;
    return true;
}

void Apply(const Transform2D& t, double& x, double& y) noexcept
{
    const double mappedX = x * t.a + y * t.c + t.tx;
    const double mappedY = x * t.b + y * t.d + t.ty;
    x = mappedX;
    y = mappedY;
}

DoublePoint Apply(const Transform2D& t, const DoublePoint& p) noexcept
{
    double x = p.h;
    double y = p.v;
    Apply(t, x, y);
    return DoublePoint{y, x};
}

void ApplyInverse(const Transform2D& t, double& x, double& y) noexcept
{
    const double dx = x - t.tx;
    const double dy = y - t.ty;
    x = dx * t.a + dy * t.b;
    y = dx * t.c + dy * t.d;
}

DoublePoint ApplyInverse(const Transform2D& t, const DoublePoint& p) noexcept
{
    double x = p.h;
    double y = p.v;
    ApplyInverse(t, x, y);
    return DoublePoint{y, x};
}

DoubleCorners Apply(const Transform2D& t, const DoubleRect& r) noexcept
{
    DoubleCorners corners = CornersOf(r);
    Apply(t, corners);
    return corners;
}

DoubleCorners ApplyInverse(const Transform2D& t, const DoubleRect& r) noexcept
{
    DoubleCorners corners = CornersOf(r);
    ApplyInverse(t, corners);
    return corners;
}

void Apply(const Transform2D& t, DoubleCorners& shape) noexcept
{
    for (DoublePoint& p : shape)
        p = Apply(t, p);
}

void ApplyInverse(const Transform2D& t, DoubleCorners& shape) noexcept
{
    for (DoublePoint& p : shape)
        p = ApplyInverse(t, p);
}

bool Apply(const Transform2D& t, LongPoint& p, IntRounding rounding) noexcept
{
    return MapLongPoint(t, p, rounding, false);
}

bool ApplyInverse(const Transform2D& t, LongPoint& p, IntRounding rounding) noexcept
{
    return MapLongPoint(t, p, rounding, true);
}

bool Apply(const Transform2D& t, const LongRect& r, LongCorners& corners, IntRounding rounding) noexcept
{
    corners = CornersOf(r);
    return MapLongShape(t, corners, rounding, false);
}

bool ApplyInverse(const Transform2D& t, const LongRect& r, LongCorners& corners, IntRounding rounding) noexcept
{
    corners = CornersOf(r);
    return MapLongShape(t, corners, rounding, true);
}

bool Apply(const Transform2D& t, LongCorners& shape, IntRounding rounding) noexcept
{
    return MapLongShape(t, shape, rounding, false);
}

bool ApplyInverse(const Transform2D& t, LongCorners& shape, IntRounding rounding) noexcept
{
    return MapLongShape(t, shape, rounding, true);
}

} // namespace KXMath
