#pragma once

#include <Quorvane/Lib/LibExport.h>

#include <Eigen/Geometry>

#include <string>
#include <utility>

namespace Quorvane {

/// Base of everything an algorithm takes or hands out (images, meshes, streams).
/// It carries the primary virtual table of its subclasses.
///
/// Placement: one 4x4 matrix (column-major, lengths in millimetres) that maps
/// world coordinates to data coordinates (matrixFromWorld), and its inverse
/// (matrixToWorld). matrix()/setMatrix() refer to whichever of the two
/// matrixConvention() names; the default is FromWorld.
class QUORVANE_LIB_EXPORT Data
{
public:
    enum class Kind {
        Unknown = 0,
        Image = 1,
        Mesh = 2,
        PointSet = 3,
        Stream = 4,
        TrackingStream = 5,
        Annotation = 6,
    };
    enum class Modality {
        NotApplicable = 0,
        Tracking = 1,
        Ultrasound = 2,
        Video = 3,
        Other = 4,
    };
    enum class MatrixConvention {
        FromWorld = 1,  ///< matrix() maps world to data coordinates
        ToWorld = 2,    ///< matrix() maps data to world coordinates
    };

    explicit Data(std::string name = {});
    Data(const Data&) = default;
    Data& operator=(const Data&) = default;
    virtual ~Data();

    virtual Kind kind() const;
    virtual Modality modality() const;
    virtual MatrixConvention matrixConvention() const;
    virtual void setMatrixFromWorld(const Eigen::Matrix4d& m);
    virtual void setMatrixToWorld(const Eigen::Matrix4d& m);
    virtual Eigen::Matrix4d matrixFromWorld() const;
    virtual Eigen::Matrix4d matrixToWorld() const;
    virtual Eigen::Matrix4d matrix() const;
    virtual void setMatrix(const Eigen::Matrix4d& m);
    virtual bool isAnnotationType() const;
    /// Extent in data coordinates (millimetres); empty for data without extent.
    virtual Eigen::AlignedBox3d bounds() const;
    /// One line for people: kind and name, e.g. "Data 'CT'".
    virtual std::string describe() const;

    const std::string& name() const { return m_name; }
    void setName(std::string name) { m_name = std::move(name); }

    /// "Unknown", "Image", ..., "TrackingStream".
    static const char* kindName(Kind kind);

private:
    std::string m_name;
    Eigen::Matrix4d m_fromWorld = Eigen::Matrix4d::Identity();
};

}  // namespace Quorvane
