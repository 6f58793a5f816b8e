// How far the document has loaded.
return d.readyState;
