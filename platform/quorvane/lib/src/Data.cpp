#include <Quorvane/Lib/Data.h>

#include <platform/NameTable.h>

#include <sstream>

namespace Quorvane {

Data::Data(std::string name) : m_name(std::move(name)) {}

Data::~Data() = default;

Data::Kind Data::kind() const
{
    return Kind::Unknown;
}

Data::Modality Data::modality() const
{
    return Modality::NotApplicable;
}

Data::MatrixConvention Data::matrixConvention() const
{
    return MatrixConvention::FromWorld;
}

void Data::setMatrixFromWorld(const Eigen::Matrix4d& m)
{
    m_fromWorld = m;
}

void Data::setMatrixToWorld(const Eigen::Matrix4d& m)
{
    m_fromWorld = m.inverse();
}

Eigen::Matrix4d Data::matrixFromWorld() const
{
    return m_fromWorld;
}

Eigen::Matrix4d Data::matrixToWorld() const
{
    return m_fromWorld.inverse();
}

Eigen::Matrix4d Data::matrix() const
{
    return matrixConvention() == MatrixConvention::FromWorld ? matrixFromWorld() : matrixToWorld();
}

void Data::setMatrix(const Eigen::Matrix4d& m)
{
    if (matrixConvention() == MatrixConvention::FromWorld) {
        setMatrixFromWorld(m);
    } else {
        setMatrixToWorld(m);
    }
}

bool Data::isAnnotationType() const
{
    return false;
}

Eigen::AlignedBox3d Data::bounds() const
{
    return Eigen::AlignedBox3d();  // empty
}

std::string Data::describe() const
{
    std::ostringstream s;
    s << kindName(kind());
    if (!m_name.empty()) {
        s << " '" << m_name << "'";
    }
    return s.str();
}

const char* Data::kindName(Kind kind)
{
    static constexpr Platform::NameRow<Kind> kNames[] = {
        {Kind::Unknown, "Unknown"},       {Kind::Image, "Image"},   {Kind::Mesh, "Mesh"},
        {Kind::PointSet, "PointSet"},     {Kind::Stream, "Stream"}, {Kind::TrackingStream, "TrackingStream"},
        {Kind::Annotation, "Annotation"},
    };
    return Platform::nameOf(kind, kNames, "Unknown");
}

}  // namespace Quorvane
