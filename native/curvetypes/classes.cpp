// The three classes of the module: their type objects, documentation, and
// their assembly from the parts each concept file contributes.
#include "curvetypes/types.h"

#include <list>

namespace pykesta::curvetypes {

static const char base_doc[] =
    "\n"
    "    An abstract class for python_kesta type.\n"
    "    \n"
    "    The persistable base of Point1d and Trajectory1d. It can be instantiated\n"
    "    (any arguments are accepted and ignored), but the operations that give it\n"
    "    meaning are abstract and raise NotImplementedError \"abstract method\".\n"
    "\n"
    "    Methods\n"
    "    -------\n"
    "    savexml(fname, ID)\n"
    "        Saves the object into a .xml format file.\n"
    "    loadxml(fname, ID)\n"
    "        Static method: loads an object from a .xml format file.\n"
    "\n"
    "    See Also\n"
    "    --------\n"
    "    Point1d, Trajectory1d : The persistable classes.\n"
    "\n"
    "    Examples\n"
    "    --------\n"
    "    >>> from pykesta.curvetypes import PyKESTAObject, Point1d\n"
    "    >>> isinstance(Point1d(0.5, 2.0, 1), PyKESTAObject)\n"
    "    True\n"
    "    >>> PyKESTAObject.loadxml('moves', 'v1')\n"
    "    Traceback (most recent call last):\n"
    "        ...\n"
    "    NotImplementedError: abstract method\n";

static const char point_doc[] =
    "Simple class for storing a point in joint space.\n"
    "\n"
    "A point constraint: at time t the quantity of derivation order `order` has\n"
    "the value val. Wherever a constraint is accepted, the tuple (t, val, order)\n"
    "may stand instead.\n"
    "\n"
    "Parameters\n"
    "----------\n"
    "t : float\n"
    "    Time coordinate.\n"
    "val : float\n"
    "    Numeric value.\n"
    "order : int\n"
    "    Order of derivation, from 0 to 4294967295; a float is truncated.\n"
    "\n"
    "Attributes\n"
    "----------\n"
    "t : float\n"
    "    Time coordinate.\n"
    "val : float\n"
    "    Numeric value.\n"
    "order : int\n"
    "    Order of derivation to which the coordinate refers, greater than or equal\n"
    "    to zero: 0 displacement, 1 velocity, 2 acceleration, 3 jerk, ...\n"
    "\n"
    "Methods\n"
    "-------\n"
    "copy()\n"
    "    Return a copy of the object.\n"
    "savexml(fname, ID)\n"
    "    Saves the point into a .xml format file.\n"
    "loadxml(fname, ID)\n"
    "    Static method: loads a point from a .xml format file.\n"
    "from_tuple(pnt)\n"
    "    Static method: a point from the tuple (t, val, order).\n"
    "\n"
    "Raises\n"
    "------\n"
    "TypeError\n"
    "    \"__init__() takes exactly 3 positional arguments (... given)\" for another\n"
    "    number of arguments; the conversion errors of t, val and order.\n"
    "OverflowError\n"
    "    \"can't convert negative value to unsigned int\" for a negative order.\n"
    "\n"
    "See Also\n"
    "--------\n"
    "Trajectory1d.setValueTr, Trajectory1d.setValueAm : Impose a point on a\n"
    "    trajectory.\n"
    "\n"
    "Notes\n"
    "-----\n"
    "Points compare exactly (==, !=), are not hashable and cannot be pickled;\n"
    "copy.copy and copy.deepcopy work.\n"
    "\n"
    "Examples\n"
    "--------\n"
    ">>> from pykesta.curvetypes import Point1d\n"
    ">>> pt = Point1d(0.5, 2.0, 1)\n"
    ">>> print(pt)\n"
    "Point1d(t = 0.5, val = 2.0, order = 1)\n"
    ">>> pt\n"
    "{'t': 0.5, 'val': 2.0, 'order': 1}\n"
    ">>> pt == Point1d.from_tuple((0.5, 2.0, 1))\n"
    "True\n";

static const char trajectory_doc[] =
    "One-dimensional trajectory extension type.\n"
    "\n"
    "A function of time given as a B-spline of degree p with n + 1 control\n"
    "points over a knot vector of n + p + 2 knots, with the derivation order of\n"
    "the quantity it describes. Trajectory1d() makes an empty trajectory (any\n"
    "arguments are accepted and ignored); filled ones come from\n"
    "pykesta.from_arrays, from Trajectory1d.loadxml and from the operations below.\n"
    "\n"
    "Attributes\n"
    "----------\n"
    "p : int\n"
    "    Degree of the univariate B-spline that parameterizes the trajectory.\n"
    "n : int\n"
    "    The highest index of the trajectory parameterization coefficients.\n"
    "    len(cpts) = n + 1.\n"
    "order : int\n"
    "    Order of derivation the curve refers to, greater than or equal to zero:\n"
    "    0 displacement, 1 velocity, 2 acceleration, 3 jerk, ...\n"
    "start : float\n"
    "    Left end of the curve domain.\n"
    "stop : float\n"
    "    Right end of the curve domain.\n"
    "\n"
    "Methods\n"
    "-------\n"
    "get_knotvector_asarray(), get_cpts_asarray()\n"
    "    Array views of the two arrays.\n"
    "get_xcpts()\n"
    "    Returns the x-coordinates of the control points.\n"
    "peval(x), dpeval(x, nu=1)\n"
    "    Evaluate the trajectory or a derivative at a point.\n"
    "ceval(xp), dceval(xp, nu=1)\n"
    "    Evaluate over an increasing array, in place.\n"
    "rshift(x), ashift(x)\n"
    "    Relative and absolute translation along the x-axis.\n"
    "hscale(k)\n"
    "    Scales horizontally keeping the start of the domain fixed.\n"
    "adapt(start, stop)\n"
    "    Adapts the trajectory in a new domain.\n"
    "derivative(nu=1), antiderivative(nu=1)\n"
    "    Derivative and antiderivative trajectories.\n"
    "degelev(nu=1)\n"
    "    Increases the degree of the B-Spline.\n"
    "knotins(u, r), knotref(X)\n"
    "    Knot insertion and refinement.\n"
    "knotrem(u, r, tol=1e-13), knotsrem(tol=1e-13), knotrem_notol(u, r)\n"
    "    Knot removal.\n"
    "c_splcsum(other), c_splcmul(other)\n"
    "    Sum and product of two trajectories.\n"
    "setValueTr(point)\n"
    "    Sets a condition by vertical shift of the trajectory.\n"
    "setValueAm(point)\n"
    "    Sets a condition multiplying the trajectory by a calculated constant.\n"
    "copy()\n"
    "    Return a copy of the object.\n"
    "savexml(fname, ID), loadxml(fname, ID)\n"
    "    Saving to and loading from .xml files.\n"
    "\n"
    "See Also\n"
    "--------\n"
    "Point1d : A point constraint.\n"
    "\n"
    "Notes\n"
    "-----\n"
    "A trajectory frees its arrays when it ends only if it owns them; every\n"
    "trajectory the library builds does. The owner flag shows as \"owner\" in\n"
    "_getAttrib() and in the pickled state. Trajectories support +, -, * and /\n"
    "with numbers, + and - between trajectories, unary - (in place), the\n"
    "in-place forms, == and != (with a tolerance), the call operator, copying\n"
    "and pickling. They are not hashable.\n"
    "\n"
    "Examples\n"
    "--------\n"
    ">>> from pykesta import from_arrays\n"
    ">>> from pykesta.curvetypes import Trajectory1d\n"
    ">>> print(Trajectory1d())\n"
    "Trajectory1d(start = None, stop = None, p = 0, n = 0, order = 0)\n"
    ">>> t = from_arrays([0, 0, 0, 1, 1, 1], [0.0, 1.0, 3.0], p=2)  # x**2 + 2*x\n"
    ">>> print(t)\n"
    "Trajectory1d(start = 0.0, stop = 1.0, p = 2, n = 2, order = 0)\n"
    ">>> t(0.5), t.derivative()(0.5)\n"
    "(1.25, 3.0)\n"
    ">>> (2 * t)(0.5)\n"
    "2.5\n";

PyTypeObject PyKESTAObject_Type = {
    .ob_base = PyVarObject_HEAD_INIT(nullptr, 0).tp_name = "pykesta.curvetypes.PyKESTAObject",
    .tp_basicsize = sizeof(PyKESTAObjectObject),
    .tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE,
    .tp_doc = base_doc,
};

PyTypeObject Point1d_Type = {
    .ob_base = PyVarObject_HEAD_INIT(nullptr, 0).tp_name = "pykesta.curvetypes.Point1d",
    .tp_basicsize = sizeof(Point1dObject),
    .tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE,
    .tp_doc = point_doc,
    .tp_base = &PyKESTAObject_Type,
};

PyTypeObject Trajectory1d_Type = {
    .ob_base = PyVarObject_HEAD_INIT(nullptr, 0).tp_name = "pykesta.curvetypes.Trajectory1d",
    .tp_basicsize = sizeof(Trajectory1dObject),
    .tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE,
    .tp_doc = trajectory_doc,
    .tp_base = &PyKESTAObject_Type,
};

const PyKESTAObjectVTable& vtable_of(PyObject* obj) {
    if (PyObject_TypeCheck(obj, &Trajectory1d_Type)) return trajectory_vtable.base;
    if (PyObject_TypeCheck(obj, &Point1d_Type)) return point_vtable.base;
    return base_vtable;
}

// Method and property tables must outlive the types: they are kept here.
static std::list<TypeParts> assembled;

static void finish(TypeParts& parts, PyObject* module, const char* name) {
    parts.methods.push_back({nullptr, nullptr, 0, nullptr});
    parts.properties.push_back({nullptr, nullptr, nullptr, nullptr, nullptr});
    parts.type.tp_methods = parts.methods.data();
    parts.type.tp_getset = parts.properties.data();
    check_status(PyType_Ready(&parts.type));
    check_status(PyModule_AddObjectRef(module, name, reinterpret_cast<PyObject*>(&parts.type)));
}

// Documents Trajectory1d.__call__: an entry of the method table that runs the
// call slot's function takes the place of the slot's generic wrapper.
static void add_documented_call(TypeParts& parts) {
    parts.methods.push_back(
        {"__call__",
         reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(parts.type.tp_call)),
         METH_VARARGS | METH_KEYWORDS | METH_COEXIST, trajectory_call_doc});
}

void create_classes(PyObject* module) {
    TypeParts& base = assembled.emplace_back(TypeParts{PyKESTAObject_Type, {}, {}});
    add_base(base, base_vtable);
    add_base_persistence(base, base_vtable);
    finish(base, module, "PyKESTAObject");

    point_vtable.base = base_vtable;
    TypeParts& point = assembled.emplace_back(TypeParts{Point1d_Type, {}, {}});
    add_point(point, point_vtable);
    add_point_persistence(point, point_vtable);
    finish(point, module, "Point1d");

    trajectory_vtable.base = base_vtable;
    TypeParts& trajectory = assembled.emplace_back(TypeParts{Trajectory1d_Type, {}, {}});
    add_trajectory_record(trajectory, trajectory_vtable);
    add_state(trajectory, trajectory_vtable);
    add_evaluation(trajectory, trajectory_vtable);
    add_transforms(trajectory, trajectory_vtable);
    add_calculus(trajectory, trajectory_vtable);
    add_knot_operations(trajectory, trajectory_vtable);
    add_arithmetic(trajectory, trajectory_vtable);
    add_constraints(trajectory, trajectory_vtable);
    add_trajectory_persistence(trajectory, trajectory_vtable);
    add_documented_call(trajectory);
    finish(trajectory, module, "Trajectory1d");
}

} // namespace pykesta::curvetypes
