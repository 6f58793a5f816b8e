// Every link of the document: its text and address; and the document's domain.
var L = d.links, o = [];
for (var i = 0; i < L.length; i++)
    o.push([ String(L[i].outerText), String(L[i].href) ]);
return [ String(d.domain), o ];
