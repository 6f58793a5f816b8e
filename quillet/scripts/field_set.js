// Sets field A.n of form A.f to A.v (A.s picks a check box or list entry).
var fm = form(A.f);
if (!fm)
    return false;
var m = members(fm, A.n);
if (!m)
    return false;
set(m, type(m), A.v, A.s);
return true;
